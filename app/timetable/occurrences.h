// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "timetable.h"

#include <QDateTime>
#include <QMetaType>
#include <QTimeZone>

#include <functional>
#include <optional>

// When entries fire, as pure functions of the table, the zone and instants,
// so that every daylight-saving day and clock step can be checked without
// waiting. Instants are QDateTimes in any zone; they compare as instants.
namespace Timetable {

// One firing of an entry: the caller fires it exactly once by keeping the
// instant of the last one it fired and asking only for later ones.
struct Occurrence
{
    Entry entry;
    QDate day;   // the local date it belongs to, a rest day never
    QDateTime at; // the instant it fires, in UTC
    bool operator==(const Occurrence &) const = default;
};

// Catch-up looks this far back.
inline constexpr int catchUpDays = 7;

// The instant a local wall-clock time names. A time that a change to
// daylight saving skips is the first instant after the gap (02:30 on the
// spring day is 03:00); one that the change back repeats is its first pass.
QDateTime wallInstant(QDate date, QTime time, const QTimeZone &zone);

// When `entry` fires on `day`: nothing on a rest day, a day its days do not
// name, or where the sun does not rise or set that day.
std::optional<QDateTime> firesOn(const Table &table, const Entry &entry, QDate day,
                                 const QTimeZone &zone);

// Everything due first after `after`: the entries that fire at that one
// instant, in file order; empty when nothing fires within about a year.
// Occurrences for which `skip` is true count as not there.
QList<Occurrence> next(const Table &table, const QTimeZone &zone, const QDateTime &after,
                       const std::function<bool(const Occurrence &)> &skip = {});

// The player keeps two states apart: what it plays (a show, or off) and its
// brightness. Restoring the state a timetable says means one of each.
enum class Channel { Playing, Brightness };
Channel channelOf(const Action &action);

// The latest occurrence in (from, to] of each channel, in the order they
// fell due; of several at one instant, the one on the later line, as a
// later command overrides an earlier one.
QList<Occurrence> latestOfEach(const Table &table, const QTimeZone &zone, const QDateTime &from,
                               const QDateTime &to);

// What catch-up sends at `now`: the latest of each channel that has passed
// within catchUpDays, rest days left out.
QList<Occurrence> catchUp(const Table &table, const QTimeZone &zone, const QDateTime &now);

// What the clock reading `now` sends when everything up to `mark` has been
// dealt with. Running normally, every occurrence of (mark, now], in order: a
// wake-up a little late loses nothing. After the clock was set forward
// (`stepped`), only the latest of each channel in the span it skipped, and
// no further back than catch-up looks. Set back (`now` before `mark`),
// nothing: what already fired does not fire again.
QList<Occurrence> due(const Table &table, const QTimeZone &zone, const QDateTime &mark,
                      const QDateTime &now, bool stepped);

// Every occurrence in (from, to], in order, for a preview.
QList<Occurrence> between(const Table &table, const QTimeZone &zone, const QDateTime &from,
                          const QDateTime &to);

// For the editor: when one entry fires next after `after`, or why it never
// does ("the date has passed").
struct EntryNext
{
    std::optional<QDateTime> at;
    QString whyNot;
};
EntryNext nextOf(const Table &table, const Entry &entry, const QTimeZone &zone,
                 const QDateTime &after);

} // namespace Timetable

Q_DECLARE_METATYPE(Timetable::Occurrence)
