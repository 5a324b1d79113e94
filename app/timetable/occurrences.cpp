// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "occurrences.h"

#include "sun.h"

#include <algorithm>

namespace Timetable {

namespace {

// Days looked at for one entry before it counts as never firing; rest days
// are skipped over and not counted. Enough for the longest polar night.
constexpr int horizonDays = 400;

QDate localDate(const QDateTime &at, const QTimeZone &zone)
{
    return at.toTimeZone(zone).date();
}

// The last day of the rest days that `day` is in, or `day` itself.
QDate restEnd(const Table &table, QDate day)
{
    for (bool moved = true; moved;) {
        moved = false;
        for (const Rest &rest : table.rests) {
            if (day >= rest.from && day < rest.to) {
                day = rest.to;
                moved = true;
            }
        }
    }
    return day;
}

QDate restStart(const Table &table, QDate day)
{
    for (bool moved = true; moved;) {
        moved = false;
        for (const Rest &rest : table.rests) {
            if (day > rest.from && day <= rest.to) {
                day = rest.from;
                moved = true;
            }
        }
    }
    return day;
}

struct Found
{
    QDate day;
    QDateTime at;
};

// The entry's first occurrence after `after`. An entry's occurrences come
// in the order of their days, sun times included, as a sun offset is at
// most half a day.
std::optional<Found> firstAfter(const Table &table, const Entry &entry, const QTimeZone &zone,
                                const QDateTime &after)
{
    if (entry.days.date.isValid()) {
        const auto at = firesOn(table, entry, entry.days.date, zone);
        if (at && *at > after)
            return Found { entry.days.date, *at };
        return std::nullopt;
    }
    QDate day = localDate(after, zone).addDays(-1);
    for (int looked = 0; looked < horizonDays && day.isValid(); day = day.addDays(1)) {
        if (table.resting(day)) {
            day = restEnd(table, day);
            continue;
        }
        ++looked;
        if (const auto at = firesOn(table, entry, day, zone); at && *at > after)
            return Found { day, *at };
    }
    return std::nullopt;
}

// The entry's last occurrence in (from, to].
std::optional<Found> lastIn(const Table &table, const Entry &entry, const QTimeZone &zone,
                            const QDateTime &from, const QDateTime &to)
{
    const auto inSpan = [&](const std::optional<QDateTime> &at) { return at && *at > from && *at <= to; };
    if (entry.days.date.isValid()) {
        const auto at = firesOn(table, entry, entry.days.date, zone);
        if (inSpan(at))
            return Found { entry.days.date, *at };
        return std::nullopt;
    }
    const QDate first = localDate(from, zone).addDays(-1);
    QDate day = localDate(to, zone).addDays(1);
    for (int looked = 0; looked < horizonDays && day.isValid() && day >= first; day = day.addDays(-1)) {
        if (table.resting(day)) {
            day = restStart(table, day);
            continue;
        }
        ++looked;
        if (const auto at = firesOn(table, entry, day, zone); inSpan(at))
            return Found { day, *at };
    }
    return std::nullopt;
}

} // namespace

QDateTime wallInstant(QDate date, QTime time, const QTimeZone &zone)
{
    const QDateTime asUtc(date, time, QTimeZone::utc());
    const int before = zone.offsetFromUtc(asUtc.addDays(-1));
    const int after = zone.offsetFromUtc(asUtc.addDays(1));
    std::optional<QDateTime> first;
    for (const int offset : { before, after }) {
        const QDateTime at = asUtc.addSecs(-offset);
        if (zone.offsetFromUtc(at) == offset && (!first || at < *first))
            first = at;
    }
    if (first)
        return *first;
    // In the gap: the clock jumps from its start to its end, and the first
    // instant after it is the change itself.
    const QTimeZone::OffsetData change = zone.nextTransition(asUtc.addSecs(-std::max(before, after)));
    if (change.atUtc.isValid())
        return change.atUtc.toUTC();
    return asUtc.addSecs(-before);
}

std::optional<QDateTime> firesOn(const Table &table, const Entry &entry, QDate day,
                                 const QTimeZone &zone)
{
    if (!entry.days.contains(day) || table.resting(day))
        return std::nullopt;
    if (!entry.time.usesSun())
        return wallInstant(day, entry.time.clock, zone);
    if (!table.location)
        return std::nullopt;
    const auto event = Sun::event(entry.time.kind == Time::Kind::Sunrise ? Sun::Event::Rise : Sun::Event::Set,
                                  table.location->latitude, table.location->longitude, day, zone);
    if (!event)
        return std::nullopt;
    return event->addSecs(entry.time.offsetMinutes * 60);
}

QList<Occurrence> next(const Table &table, const QTimeZone &zone, const QDateTime &after,
                       const std::function<bool(const Occurrence &)> &skip)
{
    QList<Occurrence> soonest;
    for (const Entry &entry : table.entries) {
        std::optional<Occurrence> first;
        // Each one skipped is a different occurrence, so this ends.
        for (QDateTime from = after;;) {
            const auto found = firstAfter(table, entry, zone, from);
            if (!found)
                break;
            first = Occurrence { entry, found->day, found->at.toUTC() };
            if (!skip || !skip(*first))
                break;
            first.reset();
            from = found->at;
        }
        if (!first || (!soonest.isEmpty() && first->at > soonest.first().at))
            continue;
        if (!soonest.isEmpty() && first->at < soonest.first().at)
            soonest.clear();
        soonest.append(*first);
    }
    return soonest;
}

Channel channelOf(const Action &action)
{
    return action.kind == Action::Kind::Brightness ? Channel::Brightness : Channel::Playing;
}

QList<Occurrence> latestOfEach(const Table &table, const QTimeZone &zone, const QDateTime &from,
                               const QDateTime &to)
{
    std::optional<Occurrence> last[2];
    for (const Entry &entry : table.entries) {
        std::optional<Occurrence> &slot = last[int(channelOf(entry.action))];
        const auto found = lastIn(table, entry, zone, from, to);
        if (found && (!slot || found->at >= slot->at))
            slot = Occurrence { entry, found->day, found->at.toUTC() };
    }
    QList<Occurrence> out;
    for (const auto &one : last) {
        if (one)
            out.append(*one);
    }
    // At one instant the file's order; the later line goes last.
    std::sort(out.begin(), out.end(), [](const Occurrence &a, const Occurrence &b) {
        return a.at != b.at ? a.at < b.at : a.entry.line < b.entry.line;
    });
    return out;
}

QList<Occurrence> catchUp(const Table &table, const QTimeZone &zone, const QDateTime &now)
{
    return latestOfEach(table, zone, now.addDays(-catchUpDays), now);
}

QList<Occurrence> due(const Table &table, const QTimeZone &zone, const QDateTime &mark,
                      const QDateTime &now, bool stepped)
{
    if (now <= mark)
        return {};
    if (stepped)
        return latestOfEach(table, zone, mark, now);
    return between(table, zone, mark, now);
}

QList<Occurrence> between(const Table &table, const QTimeZone &zone, const QDateTime &from,
                          const QDateTime &to)
{
    QList<Occurrence> all;
    for (QDateTime after = from;;) {
        const QList<Occurrence> soonest = next(table, zone, after);
        if (soonest.isEmpty() || soonest.first().at > to)
            return all;
        all += soonest;
        after = soonest.first().at;
    }
}

EntryNext nextOf(const Table &table, const Entry &entry, const QTimeZone &zone, const QDateTime &after)
{
    if (const auto found = firstAfter(table, entry, zone, after))
        return { found->at.toUTC(), {} };
    if (entry.time.usesSun() && !table.location)
        return { std::nullopt, missingLocation() };
    const QDate date = entry.days.date;
    if (date.isValid() && table.resting(date))
        return { std::nullopt, QStringLiteral("a rest day") };
    if (date.isValid() && firesOn(table, entry, date, zone))
        return { std::nullopt, QStringLiteral("the date has passed") };
    if (entry.time.usesSun()) {
        const bool rise = entry.time.kind == Time::Kind::Sunrise;
        const QString when = date.isValid() ? QStringLiteral("that day") : QStringLiteral("within a year");
        return { std::nullopt, (rise ? QStringLiteral("the sun does not rise there ")
                                     : QStringLiteral("the sun does not set there ")) + when };
    }
    return { std::nullopt, QStringLiteral("rest days all year") };
}

} // namespace Timetable
