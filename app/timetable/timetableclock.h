// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "occurrences.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QTimeZone>
#include <QTimer>

#include <functional>
#include <optional>

class ClockSetNotice;

namespace Timetable {

// What a timetable coming into force sends of what has passed.
//   Missed: the latest occurrence of each kind, unless it went out already
//           or anything later of its kind went out, from whatever source.
//   Always: the latest of each kind whatever went out, for a player that
//           forgets its state with the power.
//   Off:    nothing.
enum class CatchUp { Missed, Always, Off };

// "missed", "always", "off"; the old switch's true and false, and the other
// words a switch takes, read as missed and off. Nothing for anything else.
std::optional<CatchUp> catchUpFromText(const QString &text);
QString catchUpText(CatchUp mode);

} // namespace Timetable

// A running timetable between looks at the clock, as plain data and pure
// functions of the wall-clock time, so that clock steps and zone changes
// can be checked without waiting.
struct TimetableRun
{
    // Enough for every occurrence of a day of a full timetable and more.
    static constexpr qsizetype maxFired = 4096;

    Timetable::Table table;
    QTimeZone zone;
    QDateTime mark; // everything up to here was dealt with
    // The latest occurrences that fired, by what they do and when rather than
    // by their line, so that a clock set back fires none of them again, also
    // after the file was edited and read anew. The order says which to forget.
    QList<quint64> firedOrder;
    QSet<quint64> fired;

    // In force from `now`, `table` and `zone` as set: nothing that has passed
    // fires, except the catch-up returned here when `catchUp` is set. What
    // fired before stays fired.
    QList<Timetable::Occurrence> begin(const QDateTime &now, bool catchUp);
    // What the clock reading `now` sends, each occurrence once. `stepped`:
    // the clock was set forward since the last look, and only the latest of
    // each channel in the span it skipped goes out. Set back, nothing goes out.
    QList<Timetable::Occurrence> look(const QDateTime &now, bool stepped);
    // The zone changed: as if the clock had been set from the wall-clock
    // reading of the mark in the old zone to `now` in the new.
    QList<Timetable::Occurrence> rezone(const QTimeZone &newZone, const QDateTime &now);
    // What fires next, all at one instant; empty when nothing does.
    QList<Timetable::Occurrence> upcoming() const;

    bool wasFired(const Timetable::Occurrence &occurrence) const;
    void remember(const Timetable::Occurrence &occurrence);
};

// Runs a timetable: one precise timer armed to the next occurrence and
// re-armed at each, at most a minute long so that a change of zone is seen
// within a minute, and the system's notice of the clock being set. It
// decides when; what an occurrence does is the receiver's.
class TimetableClock : public QObject
{
    Q_OBJECT

public:
    using Now = std::function<QDateTime()>;
    using Zone = std::function<QTimeZone()>;

    // The longest the timer waits; a timer that runs out this much later
    // than it should have counts as a clock step (a suspend).
    static constexpr int maxWaitMs = 60 * 1000;

    explicit TimetableClock(QObject *parent = nullptr);
    ~TimetableClock() override;

    // Where the time and the zone are read; the system's by default. For
    // tests, which then move their clock and call check().
    void setClock(Now now, Zone zone);
    QDateTime now() const { return mNow(); }

    // Puts `table` in force (again), from now, in its own zone or else the
    // system's. Nothing that has passed fires, except the catch-up when
    // `catchUp` is set (the latest of each channel), emitted before this
    // returns. What fired before, under any version of the table, stays fired.
    void start(const Timetable::Table &table, bool catchUp);
    void stop();
    bool running() const { return mRunning; }
    const Timetable::Table &table() const { return mRun.table; }
    // The zone the table runs in; the system's while stopped.
    QTimeZone zone() const { return mRunning ? mRun.zone : mZone(); }
    // The table's own zone, else the system's.
    QTimeZone zoneFor(const Timetable::Table &table) const;

    // What fires next, for the status bar: empty while stopped or when
    // nothing will.
    const QList<Timetable::Occurrence> &upcoming() const { return mUpcoming; }
    // When the timer runs out, in milliseconds; -1 while stopped.
    int remainingMs() const { return mTimer.isActive() ? mTimer.remainingTime() : -1; }

    // Looks at the clock and emits what is due. The timer and the system's
    // notice call it; `clockSet` when the clock was set (forward, only the
    // latest occurrence of the span it skipped goes out).
    void check(bool clockSet = false);

signals:
    // Each occurrence once. catchUp: sent at start for the state the
    // timetable says the player should be in, not at its own time.
    void fire(const Timetable::Occurrence &occurrence, bool catchUp);
    void upcomingChanged();

private:
    void arm(const QDateTime &now);

    Now mNow = [] { return QDateTime::currentDateTimeUtc(); };
    Zone mZone = [] { return QTimeZone::systemTimeZone(); };
    TimetableRun mRun;
    QList<Timetable::Occurrence> mUpcoming;
    QDateTime mArmedFor; // the wall-clock instant the timer runs out at
    QTimer mTimer;
    ClockSetNotice *mNotice = nullptr;
    bool mRunning = false;
    // Moves on each start and stop, so that a receiver that restarts or
    // stops the clock from a fire() ends the emits of the run before.
    quint64 mGeneration = 0;
};
