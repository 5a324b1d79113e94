// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sentrecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char *const channelNames[] = { "playing", "brightness" };

} // namespace

SentRecord::SentRecord(const QString &filePath)
    : mPath(filePath)
{
}

QDateTime SentRecord::last(Timetable::Channel channel) const
{
    load();
    return mLast[int(channel)];
}

void SentRecord::load() const
{
    if (mLoaded)
        return;
    mLoaded = true;
    QFile file(mPath);
    if (mPath.isEmpty() || !QFileInfo(mPath).isFile() || !file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : file.read(4096).split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() != 2)
            continue;
        for (int channel = 0; channel < 2; ++channel) {
            if (words.at(0) != channelNames[channel])
                continue;
            const QDateTime at = QDateTime::fromString(QString::fromLatin1(words.at(1)), Qt::ISODateWithMs);
            if (at.isValid())
                mLast[channel] = at.toUTC();
        }
    }
}

void SentRecord::note(Timetable::Channel channel, const QDateTime &at)
{
    load();
    mLast[int(channel)] = at.toUTC();
    mChanged = true;
}

QString SentRecord::save()
{
    if (mPath.isEmpty())
        return {};
    QByteArray text;
    for (int channel = 0; channel < 2; ++channel) {
        if (mLast[channel].isValid())
            text += QByteArray(channelNames[channel]) + ' '
                + mLast[channel].toString(Qt::ISODateWithMs).toLatin1() + '\n';
    }
    QDir().mkpath(QFileInfo(mPath).absolutePath());
    QSaveFile file(mPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return file.errorString();
    mChanged = false;
    return {};
}
