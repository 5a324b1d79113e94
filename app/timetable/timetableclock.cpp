// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetableclock.h"

#include "clockset.h"

using Timetable::Occurrence;

namespace Timetable {

std::optional<CatchUp> catchUpFromText(const QString &text)
{
    const QString word = text.trimmed().toLower();
    for (const CatchUp mode : { CatchUp::Missed, CatchUp::Always, CatchUp::Off }) {
        if (word == catchUpText(mode))
            return mode;
    }
    if (word == u"true" || word == u"1" || word == u"yes" || word == u"on")
        return CatchUp::Missed;
    if (word == u"false" || word == u"0" || word == u"no")
        return CatchUp::Off;
    return std::nullopt;
}

QString catchUpText(CatchUp mode)
{
    switch (mode) {
    case CatchUp::Always:
        return QStringLiteral("always");
    case CatchUp::Off:
        return QStringLiteral("off");
    case CatchUp::Missed:
        break;
    }
    return QStringLiteral("missed");
}

} // namespace Timetable

namespace {

// An occurrence by what it does and when: its local day and its time as
// written, so that neither a new line number nor a new zone (whose instant
// for 20:00 is another) makes it a different one. The parts in bits: the day
// 22, the time's kind 2 and its seconds or offset 17, the action's kind 2 and
// value 8.
quint64 firedKey(const Occurrence &occurrence)
{
    const Timetable::Time &time = occurrence.entry.time;
    const Timetable::Action &action = occurrence.entry.action;
    const quint64 timeValue = time.usesSun() ? quint64(time.offsetMinutes + Timetable::maxSunOffset)
                                             : quint64(time.clock.msecsSinceStartOfDay() / 1000);
    quint64 key = quint64(occurrence.day.toJulianDay());
    key = key << 2 | quint64(time.kind);
    key = key << 17 | timeValue;
    key = key << 2 | quint64(action.kind);
    return key << 8 | quint64(action.value & 0xff);
}

} // namespace

QList<Occurrence> TimetableRun::begin(const QDateTime &now, bool catchUp)
{
    mark = now;
    if (!catchUp)
        return {};
    const QList<Occurrence> caught = Timetable::catchUp(table, zone, now);
    for (const Occurrence &occurrence : caught)
        remember(occurrence);
    return caught;
}

QList<Occurrence> TimetableRun::look(const QDateTime &now, bool stepped)
{
    if (now < mark) {
        // Set back: from here on again, but what fired stays fired.
        mark = now;
        return {};
    }
    QList<Occurrence> out;
    for (const Occurrence &occurrence : Timetable::due(table, zone, mark, now, stepped)) {
        if (!wasFired(occurrence)) {
            remember(occurrence);
            out.append(occurrence);
        }
    }
    mark = now;
    return out;
}

QList<Occurrence> TimetableRun::rezone(const QTimeZone &newZone, const QDateTime &now)
{
    const QDateTime wall = mark.toTimeZone(zone);
    zone = newZone;
    mark = Timetable::wallInstant(wall.date(), wall.time(), zone);
    return look(now, true);
}

QList<Occurrence> TimetableRun::upcoming() const
{
    // Past those that a clock set back brings round again.
    return Timetable::next(table, zone, mark, [this](const Occurrence &o) { return wasFired(o); });
}

bool TimetableRun::wasFired(const Occurrence &occurrence) const
{
    return fired.contains(firedKey(occurrence));
}

void TimetableRun::remember(const Occurrence &occurrence)
{
    const quint64 key = firedKey(occurrence);
    if (fired.contains(key))
        return;
    if (firedOrder.size() == maxFired)
        fired.remove(firedOrder.takeFirst());
    firedOrder.append(key);
    fired.insert(key);
}

TimetableClock::TimetableClock(QObject *parent)
    : QObject(parent)
    , mNotice(new ClockSetNotice(this))
{
    mTimer.setSingleShot(true);
    mTimer.setTimerType(Qt::PreciseTimer);
    // A timer that runs out far later on the wall clock than it was set for
    // slept through a suspend, or the clock was set where no notice came.
    connect(&mTimer, &QTimer::timeout, this, [this] { check(mArmedFor.msecsTo(mNow()) > maxWaitMs); });
    connect(mNotice, &ClockSetNotice::clockSet, this, [this] { check(true); });
}

TimetableClock::~TimetableClock() = default;

void TimetableClock::setClock(Now now, Zone zone)
{
    mNow = std::move(now);
    mZone = std::move(zone);
}

QTimeZone TimetableClock::zoneFor(const Timetable::Table &table) const
{
    return table.zone.isEmpty() ? mZone() : QTimeZone(table.zone.toUtf8());
}

void TimetableClock::start(const Timetable::Table &table, bool catchUp)
{
    const QDateTime now = mNow();
    mRun.table = table;
    mRun.zone = zoneFor(table);
    const QList<Occurrence> caughtUp = mRun.begin(now, catchUp);
    mRunning = true;
    const quint64 generation = ++mGeneration;
    arm(now);
    for (const Occurrence &occurrence : caughtUp) {
        if (generation != mGeneration)
            return;
        emit fire(occurrence, true);
    }
}

void TimetableClock::stop()
{
    ++mGeneration;
    mRunning = false;
    mTimer.stop();
    // What fired stays remembered for the next start.
    mRun.table = {};
    if (!mUpcoming.isEmpty()) {
        mUpcoming.clear();
        emit upcomingChanged();
    }
}

void TimetableClock::check(bool clockSet)
{
    if (!mRunning)
        return;
    const QDateTime now = mNow();
    const QTimeZone zone = zoneFor(mRun.table);
    const QList<Occurrence> due = zone.id() != mRun.zone.id() ? mRun.rezone(zone, now)
                                                              : mRun.look(now, clockSet);
    // What is due goes out before the next one is worked out.
    const quint64 generation = mGeneration;
    for (const Occurrence &occurrence : due) {
        emit fire(occurrence, false);
        if (generation != mGeneration)
            return;
    }
    arm(now);
}

void TimetableClock::arm(const QDateTime &now)
{
    const QList<Occurrence> upcoming = mRun.upcoming();
    qint64 wait = maxWaitMs;
    if (!upcoming.isEmpty())
        wait = std::clamp(now.msecsTo(upcoming.first().at), qint64(0), qint64(maxWaitMs));
    mArmedFor = now.addMSecs(wait);
    mTimer.start(int(wait));
    if (upcoming != mUpcoming) {
        mUpcoming = upcoming;
        emit upcomingChanged();
    }
}
