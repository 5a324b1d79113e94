// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <optional>

// One command that went to the player, or was refused.
struct JournalRecord
{
    QDateTime when;
    QByteArray command;  // as on the line: "X0425"
    QString name;        // the show's name; empty for brightness and off
    QString source;      // "mouse", "key", "remote 192.168.1.7", "timetable line 12"
    QString outcome;     // "sent", "refused: no port", "refused: guard"
    QString note {};     // the timetable entry's note, for its commands

    friend bool operator==(const JournalRecord &, const JournalRecord &) = default;
};

// A record as one line of text and back: the time to the millisecond with
// its offset from UTC, the command, the outcome, the source and the name,
// then the note where there is one, separated by tabs and ended by a newline,
// in UTF-8:
//   2026-03-29 20:00:00.123+02:00<TAB>X0425<TAB>sent<TAB>mouse<TAB>Vernissage
// A line without a note has the five fields that lines had before notes, so
// that older files read as before and an older Lumivane sharing the folder
// still reads every line but those with a note.
// A backslash, a tab, a line end or any other control character inside a
// field is written as \\, \t, \n, \r or \xHH, so a line is always one record
// and a tab always ends a field.
namespace JournalLine {

QByteArray format(const JournalRecord &record);
// Empty when the line is not one that format() writes (a line cut off by a
// crash, one edited by hand).
std::optional<JournalRecord> parse(QByteArrayView line);

} // namespace JournalLine

// The append-only journal.log in a folder, with its older files journal.log.1
// (the newest) to journal.log.4. Each record is written and flushed on its
// own, so `tail -f` shows it at once, and starts on a line of its own even
// after a write cut off by a full disk; the file is opened only while a record
// is written, so nothing holds it between commands. Programs sharing the
// folder (two Lumivanes on two ports) take turns through a lock on
// journal.lock there, so that one never rotates the file under another's
// record.
class Journal
{
public:
    static constexpr qint64 maxFileSize = 1024 * 1024;
    static constexpr int olderFiles = 4;

    // Where a reader got to in journal.log: the size read and the bytes that
    // ended there, which tell a file grown on from one rotated and written
    // again.
    struct Mark
    {
        qint64 size = 0;
        QByteArray tail;
    };

    // The per-user data folder Qt names for the program, as the settings
    // name it: ~/.local/share/lumivane.org/Lumivane on Linux,
    // %LOCALAPPDATA%\lumivane.org\Lumivane on Windows.
    static QString defaultFolder();

    explicit Journal(const QString &folder = defaultFolder());

    QString folder() const { return mFolder; }
    QString filePath() const;

    // Never throws and never waits for anything but the local file system.
    // Returns why the record could not be written the first time writing
    // fails after it last worked, and an empty string otherwise, so that a
    // failure is told once however many commands follow it.
    QString append(const JournalRecord &record);

    // The newest count records, newest first, from journal.log and then its
    // older files; mark, where given, is set to where journal.log was read to.
    QList<JournalRecord> newest(int count, Mark *mark = nullptr) const;

    // The records appended to journal.log after mark, oldest first, and the
    // mark moved past them; nothing when the file was rotated since (only
    // newest() can tell what is new then). A line still being written is
    // left for the next call.
    std::optional<QList<JournalRecord>> since(Mark &mark) const;

private:
    QString write(const QByteArray &line);
    QString rotate();

    QString mFolder;
    bool mFailing = false;
    // A rotation that failed is tried again a minute later, not for every
    // record: each try copies the whole file.
    QElapsedTimer mRotationFailed;
};
