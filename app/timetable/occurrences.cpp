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

// One local day of the whole table at once: what every entry shares that
// day, the zone's offset and the sun, is worked out once, not once an
// entry, so that a full file costs little more than one entry.
class DayOfTable
{
public:
    DayOfTable(const Table &table, const QTimeZone &zone, QDate day)
        : mTable(table), mZone(zone), mDay(day), mResting(table.resting(day))
    {
        // Where no change of offset comes near the day, a wall-clock time is
        // one subtraction away from its instant.
        const QDateTime start(day.addDays(-1), QTime(0, 0), QTimeZone::utc());
        const QDateTime end = start.addDays(3);
        const int offset = zone.offsetFromUtc(start);
        if (!zone.hasTransitions()) {
            mOffset = offset;
        } else if (zone.offsetFromUtc(end) == offset) {
            const QTimeZone::OffsetData change = zone.nextTransition(start);
            if (!change.atUtc.isValid() || change.atUtc > end)
                mOffset = offset;
        }
    }

    bool resting() const { return mResting; }

    // As firesOn().
    std::optional<QDateTime> firesOn(const Entry &entry)
    {
        if (mResting || !entry.days.contains(mDay))
            return std::nullopt;
        if (!entry.time.usesSun()) {
            if (mOffset)
                return QDateTime(mDay, entry.time.clock, QTimeZone::utc()).addSecs(-*mOffset);
            return wallInstant(mDay, entry.time.clock, mZone);
        }
        if (!mTable.location)
            return std::nullopt;
        const bool rise = entry.time.kind == Time::Kind::Sunrise;
        std::optional<std::optional<QDateTime>> &event = rise ? mRise : mSet;
        if (!event)
            event = Sun::event(rise ? Sun::Event::Rise : Sun::Event::Set, mTable.location->latitude,
                               mTable.location->longitude, mDay, mZone);
        if (!*event)
            return std::nullopt;
        return (*event)->addSecs(entry.time.offsetMinutes * 60);
    }

private:
    const Table &mTable;
    const QTimeZone &mZone;
    QDate mDay;
    bool mResting;
    std::optional<int> mOffset;
    std::optional<std::optional<QDateTime>> mRise;
    std::optional<std::optional<QDateTime>> mSet;
};

// Days from a local day to the instants of its occurrences: a sun offset of
// up to half a day and a day of up to 25 hours put them within a day and a
// half either side of the day's own hours, so a span's occurrences all
// belong to the days from the one before it to the one after it.
constexpr int dayReach = 2;

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
    const auto consider = [&](const Entry &entry, QDate day, const QDateTime &at) {
        if (at <= after || (!soonest.isEmpty() && at > soonest.first().at))
            return;
        const Occurrence occurrence { entry, day, at.toUTC() };
        if (skip && skip(occurrence))
            return;
        if (!soonest.isEmpty() && at < soonest.first().at)
            soonest.clear();
        soonest.append(occurrence);
    };
    bool weekly = false;
    for (const Entry &entry : table.entries) {
        if (!entry.days.date.isValid()) {
            weekly = true;
            continue;
        }
        if (const auto at = firesOn(table, entry, entry.days.date, zone))
            consider(entry, entry.days.date, *at);
    }
    // Day by day from the one before `after`; once something is found, the
    // days that could still hold an earlier one are looked at, and no more.
    QDate day = localDate(after, zone).addDays(-1);
    std::optional<QDate> lastToLook;
    for (int looked = 0; weekly && looked < horizonDays && day.isValid(); day = day.addDays(1)) {
        if (lastToLook && day > *lastToLook)
            break;
        DayOfTable today(table, zone, day);
        if (today.resting()) {
            day = restEnd(table, day);
            continue;
        }
        ++looked;
        for (const Entry &entry : table.entries) {
            if (entry.days.date.isValid())
                continue;
            if (const auto at = today.firesOn(entry))
                consider(entry, day, *at);
        }
        if (!lastToLook && !soonest.isEmpty())
            lastToLook = localDate(soonest.first().at, zone).addDays(dayReach);
    }
    // At one instant, in file order.
    std::sort(soonest.begin(), soonest.end(),
              [](const Occurrence &a, const Occurrence &b) { return a.entry.line < b.entry.line; });
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
    bool wanted[2] = { false, false };
    for (const Entry &entry : table.entries)
        wanted[int(channelOf(entry.action))] = true;
    const auto later = [](const Occurrence &a, const std::optional<Occurrence> &b) {
        return !b || a.at > b->at || (a.at == b->at && a.entry.line > b->entry.line);
    };
    // Day by day back from the end of the span, until each channel has one
    // that no earlier day can beat.
    const QDate first = localDate(from, zone).addDays(-dayReach);
    for (QDate day = localDate(to, zone).addDays(dayReach); day.isValid() && day >= first; day = day.addDays(-1)) {
        bool done = true;
        for (int channel = 0; channel < 2; ++channel) {
            if (wanted[channel] && (!last[channel] || day >= localDate(last[channel]->at, zone).addDays(-dayReach)))
                done = false;
        }
        if (done)
            break;
        DayOfTable today(table, zone, day);
        if (today.resting())
            continue;
        for (const Entry &entry : table.entries) {
            const auto at = today.firesOn(entry);
            if (!at || *at <= from || *at > to)
                continue;
            const Occurrence occurrence { entry, day, at->toUTC() };
            std::optional<Occurrence> &slot = last[int(channelOf(entry.action))];
            if (later(occurrence, slot))
                slot = occurrence;
        }
    }
    QList<Occurrence> out;
    for (const auto &one : last) {
        if (one)
            out.append(*one);
    }
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
    // As far back as catch-up looks, however far the clock jumped.
    if (stepped)
        return latestOfEach(table, zone, std::max(mark, now.addDays(-catchUpDays)), now);
    return between(table, zone, mark, now);
}

QList<Occurrence> between(const Table &table, const QTimeZone &zone, const QDateTime &from,
                          const QDateTime &to)
{
    QList<Occurrence> all;
    if (to <= from)
        return all;
    const QDate last = localDate(to, zone).addDays(dayReach);
    for (QDate day = localDate(from, zone).addDays(-dayReach); day.isValid() && day <= last; day = day.addDays(1)) {
        DayOfTable today(table, zone, day);
        if (today.resting())
            continue;
        for (const Entry &entry : table.entries) {
            const auto at = today.firesOn(entry);
            if (at && *at > from && *at <= to)
                all.append({ entry, day, at->toUTC() });
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const Occurrence &a, const Occurrence &b) {
        return a.at != b.at ? a.at < b.at : a.entry.line < b.entry.line;
    });
    return all;
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
