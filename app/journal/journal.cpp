// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/journal.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <cstring>

namespace {

constexpr char timeFormat[] = "yyyy-MM-dd HH:mm:ss.zzz";
constexpr int fieldCount = 5;
const char hexDigits[] = "0123456789ABCDEF";

void appendEscaped(QByteArray &out, QByteArrayView field)
{
    for (const char c : field) {
        const auto byte = uchar(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7f)
            out += QByteArray("\\x") + hexDigits[byte >> 4] + hexDigits[byte & 0xf];
        else
            out += c;
    }
}

int hexValue(char c)
{
    const char *digit = c ? std::strchr(hexDigits, c) : nullptr;
    return digit ? int(digit - hexDigits) : -1;
}

std::optional<QByteArray> unescaped(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 'x': {
            const int high = i + 2 < field.size() ? hexValue(field[i + 1]) : -1;
            const int low = i + 2 < field.size() ? hexValue(field[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            out += char(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// "+02:00"; the offset keeps the two passes of a repeated autumn hour apart.
QByteArray offsetText(int seconds)
{
    const char sign = seconds < 0 ? '-' : '+';
    const int minutes = qAbs(seconds) / 60;
    return sign + QByteArray::number(minutes / 60).rightJustified(2, '0') + ':'
        + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

std::optional<QDateTime> parseTime(QByteArrayView text)
{
    // "2026-03-29 20:00:00.123+02:00"; date and time are read apart, as a
    // wall-clock time that the reading computer's zone skips is still valid
    // with the offset it was written with.
    if (text.size() != 29 || text[10] != ' ' || (text[23] != '+' && text[23] != '-') || text[26] != ':')
        return std::nullopt;
    const QDate date = QDate::fromString(QString::fromLatin1(text.first(10)), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(QString::fromLatin1(text.sliced(11, 12)), QStringLiteral("HH:mm:ss.zzz"));
    bool hoursOk = false;
    bool minutesOk = false;
    const int hours = text.sliced(24, 2).toInt(&hoursOk);
    const int minutes = text.sliced(27, 2).toInt(&minutesOk);
    if (!date.isValid() || !time.isValid() || !hoursOk || !minutesOk || hours > 23 || minutes > 59)
        return std::nullopt;
    const int seconds = (hours * 3600 + minutes * 60) * (text[23] == '-' ? -1 : 1);
    return QDateTime(date, time, QTimeZone(seconds));
}

} // namespace

namespace JournalLine {

QByteArray format(const JournalRecord &record)
{
    QByteArray line = record.when.toString(QLatin1String(timeFormat)).toLatin1()
        + offsetText(record.when.offsetFromUtc());
    for (const QByteArray &field : { record.command, record.outcome.toUtf8(), record.source.toUtf8(),
                                     record.name.toUtf8() }) {
        line += '\t';
        appendEscaped(line, field);
    }
    line += '\n';
    return line;
}

std::optional<JournalRecord> parse(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    const QList<QByteArrayView> fields = [line] {
        QList<QByteArrayView> parts;
        qsizetype start = 0;
        for (qsizetype tab; (tab = line.indexOf('\t', start)) >= 0; start = tab + 1)
            parts.append(line.sliced(start, tab - start));
        parts.append(line.sliced(start));
        return parts;
    }();
    if (fields.size() != fieldCount)
        return std::nullopt;
    const std::optional<QDateTime> when = parseTime(fields[0]);
    std::optional<QByteArray> texts[fieldCount - 1];
    for (int i = 1; i < fieldCount; ++i) {
        texts[i - 1] = unescaped(fields[i]);
        if (!texts[i - 1])
            return std::nullopt;
    }
    if (!when)
        return std::nullopt;
    return JournalRecord { *when, *texts[0], QString::fromUtf8(*texts[3]), QString::fromUtf8(*texts[2]),
                           QString::fromUtf8(*texts[1]) };
}

} // namespace JournalLine

QString Journal::defaultFolder()
{
    // Spelt out rather than AppLocalDataLocation, which takes the names from
    // the application object: the program sets none, and its settings name
    // the same two explicitly.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/lumivane.org/Lumivane");
}

Journal::Journal(const QString &folder)
    : mFolder(folder)
{
}

QString Journal::filePath() const
{
    return mFolder + QStringLiteral("/journal.log");
}

QString Journal::append(const JournalRecord &record)
{
    const QString failure = write(JournalLine::format(record));
    const bool firstFailure = !failure.isEmpty() && !mFailing;
    mFailing = !failure.isEmpty();
    return firstFailure ? failure : QString();
}

QString Journal::write(const QByteArray &line)
{
    if (!QDir().mkpath(mFolder))
        return QStringLiteral("could not create the folder ") + QDir::toNativeSeparators(mFolder);
    QFile file(filePath());
    if (file.size() > 0 && file.size() + line.size() > maxFileSize) {
        const QString failure = rotate();
        if (!failure.isEmpty())
            return failure;
    }
    // Appending, never rewriting: a reader following the file by its
    // descriptor (tail -f) sees each line as it is written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return file.errorString() + QStringLiteral(": ") + QDir::toNativeSeparators(filePath());
    if (file.write(line) != line.size() || !file.flush())
        return file.errorString() + QStringLiteral(": ") + QDir::toNativeSeparators(filePath());
    return {};
}

// The current file is copied to .1 and then emptied in place rather than
// renamed: tail -f keeps following the same file (it says "file truncated"
// and goes on), and on Windows a file another program has open for reading
// could not be renamed.
QString Journal::rotate()
{
    const QString current = filePath();
    const auto older = [&current](int n) { return current + QLatin1Char('.') + QString::number(n); };
    QFile::remove(older(olderFiles));
    for (int n = olderFiles - 1; n >= 1; --n) {
        if (QFile::exists(older(n)) && !QFile::rename(older(n), older(n + 1)))
            return QStringLiteral("could not rename ") + QDir::toNativeSeparators(older(n));
    }
    QFile file(current);
    if (!file.copy(older(1)))
        return QStringLiteral("could not copy to ") + QDir::toNativeSeparators(older(1)) + QStringLiteral(": ")
            + file.errorString();
    if (!file.resize(0))
        return QStringLiteral("could not empty ") + QDir::toNativeSeparators(current) + QStringLiteral(": ")
            + file.errorString();
    return {};
}

QList<JournalRecord> Journal::newest(int count) const
{
    QList<JournalRecord> records;
    for (int n = 0; n <= olderFiles && records.size() < count; ++n) {
        QFile file(n == 0 ? filePath() : filePath() + QLatin1Char('.') + QString::number(n));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (auto line = lines.crbegin(); line != lines.crend() && records.size() < count; ++line) {
            if (std::optional<JournalRecord> record = JournalLine::parse(*line))
                records.append(*record);
        }
    }
    return records;
}
