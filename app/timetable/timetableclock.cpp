// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetableclock.h"

#include "clockset.h"

using Timetable::Occurrence;

std::optional<Occurrence> TimetableRun::begin(const QDateTime &now, bool catchUp)
{
    mark = now;
    fired.clear();
    if (!catchUp)
        return std::nullopt;
    const auto last = Timetable::catchUp(table, zone, now);
    if (last)
        remember(*last);
    return last;
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
    QDateTime after = mark;
    // Past those that a clock set back brings round again.
    for (qsizetype skipped = 0; skipped <= fired.size(); ++skipped) {
        QList<Occurrence> soonest = Timetable::next(table, zone, after);
        if (soonest.isEmpty())
            return {};
        after = soonest.first().at;
        soonest.removeIf([this](const Occurrence &o) { return wasFired(o); });
        if (!soonest.isEmpty())
            return soonest;
    }
    return {};
}

bool TimetableRun::wasFired(const Occurrence &occurrence) const
{
    return std::any_of(fired.cbegin(), fired.cend(), [&](const Occurrence &o) {
        return o.day == occurrence.day && o.entry == occurrence.entry;
    });
}

void TimetableRun::remember(const Occurrence &occurrence)
{
    if (fired.size() == maxFired)
        fired.removeFirst();
    fired.append(occurrence);
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

void TimetableClock::start(const Timetable::Table &table, bool catchUp)
{
    const QDateTime now = mNow();
    mRun = TimetableRun { table, mZone(), {}, {} };
    const auto caughtUp = mRun.begin(now, catchUp);
    mRunning = true;
    const quint64 generation = ++mGeneration;
    arm(now);
    if (caughtUp && generation == mGeneration)
        emit fire(*caughtUp, true);
}

void TimetableClock::stop()
{
    ++mGeneration;
    mRunning = false;
    mTimer.stop();
    mRun = {};
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
    const QTimeZone zone = mZone();
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
