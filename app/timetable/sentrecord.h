// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "occurrences.h"

#include <QDateTime>
#include <QString>

// When each of the player's two states was last set on the line, from
// whatever source, kept in a small file so that the next start knows it:
// catch-up then sends only what has not gone out since. The file holds a
// line a channel, "playing 2026-12-09T20:00:00.000Z"; a line it cannot read
// counts as never sent, which at worst sends a catch-up once more.
class SentRecord
{
public:
    explicit SentRecord(const QString &filePath = QString());

    QString filePath() const { return mPath; }
    // Invalid when nothing of that channel is known to have gone out.
    QDateTime last(Timetable::Channel channel) const;
    void note(Timetable::Channel channel, const QDateTime &at);

    bool changed() const { return mChanged; }
    // Writes the file whole, or leaves it as it was; returns why not.
    QString save();

private:
    // Read when first wanted, not at every start of the program.
    void load() const;

    QString mPath;
    mutable QDateTime mLast[2];
    mutable bool mLoaded = false;
    bool mChanged = false;
};
