// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How long one step of the timetable holds the window's thread, at its
// worst, for full files (1,000 entries) and clock steps: putting it in force
// with catch-up, the look at each occurrence, a look after the clock was set
// forward or back 16 hours. Each step is TimetableClock's own call on an
// injected clock, as the window makes it. Prints "name value" lines for
// bench/run.py, the worst step of each file in milliseconds.
#include "timetable/timetableclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

struct Case
{
    const char *name;
    QByteArray file;
    QByteArray zone;
};

QByteArray manyEntries(const QByteArray &head, const std::function<QByteArray(int)> &entry)
{
    QByteArray text = head;
    for (int i = 0; i < Timetable::maxItems; ++i)
        text += entry(i) + '\n';
    return text;
}

// The worst of the steps a day and its clock steps take, in milliseconds.
double worstStepMs(const Case &c)
{
    const Timetable::Parsed parsed = Timetable::parse(QByteArrayView(c.file));
    if (!parsed.ok())
        qFatal("%s: %s", c.name, qPrintable(parsed.error));
    const QTimeZone zone(c.zone);
    QDateTime now(QDate(2026, 3, 28), QTime(12, 0), zone);
    TimetableClock clock;
    clock.setClock([&now] { return now; }, [&zone] { return zone; });
    double worst = 0;
    QElapsedTimer timer;
    const auto step = [&](const std::function<void()> &what) {
        timer.start();
        what();
        worst = std::max(worst, timer.nsecsElapsed() / 1e6);
    };
    step([&] { clock.start(parsed.table, true); });
    // Through the spring change's night at every occurrence, as the timer
    // wakes the clock.
    for (int i = 0; i < 200 && !clock.upcoming().isEmpty(); ++i) {
        now = clock.upcoming().first().at;
        step([&] { clock.check(); });
    }
    now = now.addSecs(16 * 3600);
    step([&] { clock.check(true); });
    now = now.addSecs(-16 * 3600);
    step([&] { clock.check(true); });
    now = now.addSecs(3600);
    step([&] { clock.check(); });
    step([&] { clock.start(parsed.table, false); });
    return worst;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Case cases[] = {
        { "timetable_step_worst_ms_sun_pole",
          manyEntries("location 89.9 0\n",
                      [](int i) { return "daily sunrise+" + QByteArray::number(i % 700) + " show " + QByteArray::number(i % 128 + 1); }),
          "UTC" },
        { "timetable_step_worst_ms_sun_tromso",
          manyEntries("location 69.6492 18.9553\n",
                      [](int i) { return "daily sunset-" + QByteArray::number(i % 700) + " brightness " + QByteArray::number(i % 101); }),
          "Europe/Oslo" },
        { "timetable_step_worst_ms_clock",
          manyEntries("", [](int i) {
              return "daily " + QTime(0, 0).addSecs(i * 86).toString(QStringLiteral("HH:mm:ss")).toLatin1() + " show "
                  + QByteArray::number(i % 128 + 1);
          }),
          "Europe/Berlin" },
        { "timetable_step_worst_ms_dates",
          manyEntries("", [](int i) {
              return QDate(2026, 3, 28).addDays(i % 400).toString(Qt::ISODate).toLatin1() + " 20:00 show "
                  + QByteArray::number(i % 128 + 1);
          }),
          "Europe/Berlin" },
    };
    for (const Case &c : cases)
        std::printf("%s %.2f\n", c.name, worstStepMs(c));
    return 0;
}
