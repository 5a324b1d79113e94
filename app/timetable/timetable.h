// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>
#include <QTime>

#include <optional>

// The timetable file: plain UTF-8 text, one item a line, `#` starts a
// comment, words in any case.
//   location LAT LON                      decimal degrees, north and east positive
//   zone AREA/CITY                        the zone the file's times are in (an
//                                         IANA name); without it, the computer's
//   DAYS TIME ACTION   [# note]           an entry
//   DATE rest | DATE..DATE rest  [# note]  days on which no entry fires
// DAYS: daily, weekdays, weekends, Mon...Sun, a list Mon,Wed,Fri, a range
// Mon-Fri that may wrap (Fri-Mon), or one date YYYY-MM-DD. TIME: HH:MM or
// HH:MM:SS, or sunrise/sunset with an offset in minutes (sunset+15).
// ACTION: show N, brightness P (percent), off.
namespace Timetable {

// Entries and rest lines together; a longer file is refused whole.
inline constexpr int maxItems = 1000;
// No timetable comes near this; the bound keeps a wrong file from eating memory.
inline constexpr qsizetype maxFileBytes = 1024 * 1024;
inline constexpr int maxSunOffset = 720;

struct Location
{
    double latitude = 0;  // -90 to 90
    double longitude = 0; // -180 to 180
    bool operator==(const Location &) const = default;
};

struct Days
{
    QDate date;         // when valid, that one date and no weekday
    quint8 weekdays = 0; // bit (Qt::DayOfWeek - 1): Monday is bit 0
    bool contains(QDate day) const;
    bool operator==(const Days &) const = default;
};

struct Time
{
    enum class Kind { Clock, Sunrise, Sunset };
    Kind kind = Kind::Clock;
    QTime clock;            // Clock: local wall-clock time
    int offsetMinutes = 0; // Sunrise, Sunset: -maxSunOffset to maxSunOffset
    bool usesSun() const { return kind != Kind::Clock; }
    bool operator==(const Time &) const = default;
};

struct Action
{
    enum class Kind { Show, Brightness, Off };
    Kind kind = Kind::Off;
    int value = 0; // Show: 1 to 128. Brightness: percent, 0 to 100.
    bool operator==(const Action &) const = default;
};

struct Entry
{
    int line = 0; // in the file it came from; 0 for one not read from a file
    Days days;
    Time time;
    Action action;
    QString note; // the line's comment, without the `#`
    bool operator==(const Entry &) const = default;
};

struct Rest
{
    int line = 0;
    QDate from;
    QDate to; // the last rest day, from itself for one date
    QString note;
    bool operator==(const Rest &) const = default;
};

struct Table
{
    std::optional<Location> location;
    QString zone; // an IANA name, as written; empty: the computer's zone
    QList<Entry> entries; // in file order
    QList<Rest> rests;
    bool resting(QDate day) const;
    bool operator==(const Table &) const = default;
};

struct Parsed
{
    QString error; // empty when the whole file was read: "line 4: ..."
    Table table;
    bool ok() const { return error.isEmpty(); }
};

// Reads a whole file. Any bad line refuses all of it, with a message that
// names the line and what is wrong, for the caller to put the file's name
// before; the table is then empty.
Parsed parse(QByteArrayView bytes);
Parsed parse(QStringView text);

// The file text that parses back to the same table (line numbers aside):
// the location, the entries, the rest days, each note as its comment.
QString format(const Table &table);

// One field at a time, for the editor's cells and the line reader alike.
// Each returns what is wrong with the text, or an empty string and sets
// `out`. Whether a sun time has a location is the file's concern: see
// missingLocation().
QString parseDays(QStringView text, Days &out);
QString parseTime(QStringView text, Time &out);
QString parseAction(QStringView text, Action &out);
QString parseLocation(QStringView text, Location &out);
// An IANA zone name that this computer knows, as Europe/Berlin.
QString parseZone(QStringView text, QString &out);
// One date or FROM..TO.
QString parseRest(QStringView text, QDate &from, QDate &to);

QString formatDays(const Days &days);
QString formatTime(const Time &time);
QString formatAction(const Action &action);
QString formatLocation(const Location &location);
QString formatRest(QDate from, QDate to);

// The message for an entry that uses the sun where the table has no location.
QString missingLocation();

// The file text for `after` made from `original`, whose parse() gave
// `before`, so that a save changes only what was changed. An item of
// `after` equal to one of `before` (its line aside) keeps its line as
// written, spelling and comment included; one whose `line` names an item
// of `before` that is gone otherwise is written over that line; an item
// of `before` left over loses its line. Lines that hold no item stay. A
// new item follows the one before it in `after`, the first of its kind
// goes before the first kept one or else at the end; so does a kept item
// whose place in the order changed. A changed location or zone line is
// written in place, a new one before the first item. New lines end as the
// original's lines do (CRLF stays CRLF).
QString rewrite(QStringView original, const Table &before, const Table &after);

} // namespace Timetable
