// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/journal.h"

#include "journal/filelock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimeZone>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr char timeFormat[] = "yyyy-MM-dd HH:mm:ss.zzz";
constexpr int fieldCount = 5; // the note, a sixth, is there only when given
// Another program sharing the folder holds the lock for one record, or for
// the copy of one file when it rotates.
constexpr int lockWaitMs = 500;
constexpr qint64 retryRotationMs = 60 * 1000;
// Enough of a line to tell it from any other.
constexpr qsizetype markTailSize = 64;
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

// Why a write failed in the system's own words. Qt's text says "Unknown
// error" after a write the disk cut short, as only the next call gets the
// system's reason.
QString writeFailure(const QFile &file, int error)
{
    QString why = file.error() != QFileDevice::NoError ? file.errorString() : QString();
    if (why.isEmpty())
        why = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("the write was cut short");
    return why + QStringLiteral(": ") + QDir::toNativeSeparators(file.fileName());
}

// The records of whole lines in bytes, oldest first.
QList<JournalRecord> recordsIn(QByteArrayView bytes)
{
    QList<JournalRecord> records;
    for (qsizetype start = 0, end; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
        if (std::optional<JournalRecord> record = JournalLine::parse(bytes.sliced(start, end - start)))
            records.append(*record);
    }
    return records;
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
    if (!record.note.isEmpty()) {
        line += '\t';
        appendEscaped(line, record.note.toUtf8());
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
    if (fields.size() != fieldCount && fields.size() != fieldCount + 1)
        return std::nullopt;
    const std::optional<QDateTime> when = parseTime(fields[0]);
    std::optional<QByteArray> texts[fieldCount];
    for (int i = 1; i < fields.size(); ++i) {
        texts[i - 1] = unescaped(fields[i]);
        if (!texts[i - 1])
            return std::nullopt;
    }
    if (!when)
        return std::nullopt;
    return JournalRecord { *when, *texts[0], QString::fromUtf8(*texts[3]), QString::fromUtf8(*texts[2]),
                           QString::fromUtf8(*texts[1]), QString::fromUtf8(texts[4].value_or(QByteArray())) };
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
    // Without the lock (another program holds it too long, or the folder
    // takes no new file) the record is still written, only not rotated.
    QFile lockFile(mFolder + QStringLiteral("/journal.lock"));
    const bool locked = lockFile.open(QIODevice::ReadWrite) && FileLock::lock(lockFile, lockWaitMs);
    const auto unlock = qScopeGuard([&lockFile, locked] {
        if (locked)
            FileLock::unlock(lockFile);
    });
    QFile file(filePath());
    // Read under the lock: another program may have just rotated the file.
    const qint64 size = file.size();
    if (locked && size > 0 && size + line.size() > maxFileSize
        && (!mRotationFailed.isValid() || mRotationFailed.hasExpired(retryRotationMs))) {
        if (const QString failure = rotate(); failure.isEmpty()) {
            mRotationFailed.invalidate();
        } else {
            // Nothing is lost: the record goes on the end of journal.log.
            if (!mRotationFailed.isValid())
                std::fprintf(stderr, "lumivane: the journal could not be rotated, %s grows on: %s\n",
                             qPrintable(QDir::toNativeSeparators(filePath())), qPrintable(failure));
            mRotationFailed.start();
        }
    }
    // A write cut short (the disk full) left part of a line: the record
    // starts on a line of its own, and the part reads as a broken line.
    QByteArray bytes = line;
    if (QFile last(filePath()); last.open(QIODevice::ReadOnly) && last.size() > 0 && last.seek(last.size() - 1)) {
        char end = '\n';
        if (last.getChar(&end) && end != '\n')
            bytes.prepend('\n');
    }
    // Appending, never rewriting: a reader following the file by its
    // descriptor (tail -f) sees each line as it is written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file.errorString() + QStringLiteral(": ") + QDir::toNativeSeparators(filePath());
    // A short write is tried on, so that the system names what stopped it.
    for (qint64 written = 0; written < bytes.size();) {
        errno = 0;
        const qint64 now = file.write(bytes.constData() + written, bytes.size() - written);
        if (now <= 0)
            return writeFailure(file, errno);
        written += now;
    }
    return {};
}

// The current file is copied to .1 and then emptied in place rather than
// renamed: tail -f keeps following the same file (it says "file truncated"
// and goes on), and on Windows a file another program has open for reading
// could not be renamed. The copy is made first under a name of its own, so
// that a full disk fails it before anything has moved. The older files move
// up only as far as the first free number, which closes a gap rather than
// keeping it, and the oldest goes only when all four are there. Whatever
// fails, what was moved goes back: the files stay a sequence without gaps.
QString Journal::rotate()
{
    const QString current = filePath();
    const auto older = [&current](int n) { return current + QLatin1Char('.') + QString::number(n); };
    const auto native = [](const QString &path) { return QDir::toNativeSeparators(path); };
    const QString copy = current + QStringLiteral(".new");
    // Left by a rotation cut short; if it cannot go, the copy says so.
    QFile::remove(copy);
    QFile file(current);
    if (!file.copy(copy))
        return QStringLiteral("could not copy to ") + native(copy) + QStringLiteral(": ") + file.errorString();

    QList<std::pair<QString, QString>> moved;
    const auto undo = [&moved, &copy] {
        for (auto move = moved.crbegin(); move != moved.crend(); ++move)
            QFile::rename(move->second, move->first);
        QFile::remove(copy);
    };
    int free = 1;
    while (free <= olderFiles && QFileInfo::exists(older(free)))
        ++free;
    if (free > olderFiles) {
        free = olderFiles;
        if (QFile oldest(older(olderFiles)); !oldest.remove()) {
            undo();
            return QStringLiteral("could not remove ") + native(oldest.fileName()) + QStringLiteral(": ")
                + oldest.errorString();
        }
    }
    for (int n = free; n >= 1; --n) {
        const QString from = n == 1 ? copy : older(n - 1);
        if (QFile moving(from); !moving.rename(older(n))) {
            undo();
            return QStringLiteral("could not rename ") + native(from) + QStringLiteral(" to ") + native(older(n))
                + QStringLiteral(": ") + moving.errorString();
        }
        moved.append({ from, older(n) });
    }
    if (!file.resize(0)) {
        const QString why = file.errorString();
        undo();
        return QStringLiteral("could not empty ") + native(current) + QStringLiteral(": ") + why;
    }
    return {};
}

QList<JournalRecord> Journal::newest(int count, Mark *mark) const
{
    QList<JournalRecord> records;
    for (int n = 0; n <= olderFiles && records.size() < count; ++n) {
        QFile file(n == 0 ? filePath() : filePath() + QLatin1Char('.') + QString::number(n));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray bytes = file.readAll();
        if (n == 0 && mark) {
            // Up to its last whole line: since() reads the rest once it is one.
            bytes.truncate(bytes.lastIndexOf('\n') + 1);
            *mark = { bytes.size(), bytes.right(markTailSize) };
        }
        const QList<QByteArray> lines = bytes.split('\n');
        for (auto line = lines.crbegin(); line != lines.crend() && records.size() < count; ++line) {
            if (std::optional<JournalRecord> record = JournalLine::parse(*line))
                records.append(*record);
        }
    }
    return records;
}

std::optional<QList<JournalRecord>> Journal::since(Mark &mark) const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return mark.size == 0 ? std::optional(QList<JournalRecord>()) : std::nullopt;
    const qint64 from = mark.size - mark.tail.size();
    if (file.size() < mark.size || !file.seek(from) || file.read(mark.tail.size()) != mark.tail)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    const qint64 size = bytes.lastIndexOf('\n') + 1;
    if (size > 0)
        mark = { mark.size + size, (mark.tail + bytes.first(size)).right(markTailSize) };
    return recordsIn(QByteArrayView(bytes).first(size));
}
