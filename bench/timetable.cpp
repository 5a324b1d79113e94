// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The timetable at work in the real controller: how late each of 20 entries
// one second apart reaches the line (from the entry's instant to its bytes
// readable on the far side of a pseudo-terminal), and how often the idle
// program wakes with a week's timetable running and with it off. Prints
// "name value" lines for bench/run.py. Settings and data are private.
//   bench_timetable [idle seconds per phase, default 20]
#include "wakeups.h"
#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "../tests/testsupport.h"

#include <QEventLoop>
#include <QFile>
#include <QPixmapCache>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

qint64 realtimeUs()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

class TimerCount : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Timer)
            ++count;
        return false;
    }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    TemporarySettings settings;
    Pty pty;
    const QString file = data.filePath(QStringLiteral("week.txt"));
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
    settings.store(QStringLiteral("timetable/file"), file);
    settings.store(QStringLiteral("timetable/enabled"), true);
    settings.store(QStringLiteral("timetable/catchUp"), false);

    // --- Latency: 20 entries one second apart, from a few seconds ahead.
    constexpr int entries = 20;
    const QDateTime first = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + 3);
    QByteArray text;
    std::vector<qint64> instantsUs;
    for (int k = 0; k < entries; ++k) {
        const QDateTime at = first.addSecs(k);
        text += "daily " + at.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + " show "
            + QByteArray::number(k + 1) + '\n';
        instantsUs.push_back(at.toMSecsSinceEpoch() * 1000);
    }
    writeFile(file, text);

    std::vector<qint64> arrivalsUs;
    std::atomic<bool> reading { true };
    std::thread reader([&] {
        QByteArray pending;
        while (reading && int(arrivalsUs.size()) < entries) {
            pollfd pfd { pty.master, POLLIN, 0 };
            if (poll(&pfd, 1, 50) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
            const qint64 now = realtimeUs();
            if (n <= 0)
                continue;
            pending.append(buffer, n);
            while (pending.size() >= 5) {
                arrivalsUs.push_back(now);
                pending.remove(0, 5);
            }
        }
    });
    {
        LumivaneMainWindow window;
        window.show();
        QElapsedTimer bound;
        bound.start();
        while (int(arrivalsUs.size()) < entries && bound.elapsed() < (entries + 10) * 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        reading = false;
        reader.join();
    }
    if (int(arrivalsUs.size()) != entries)
        qFatal("only %d of %d entries reached the line", int(arrivalsUs.size()), entries);
    std::vector<double> lateMs;
    for (int k = 0; k < entries; ++k)
        lateMs.push_back((arrivalsUs[k] - instantsUs[k]) / 1000.0);
    std::sort(lateMs.begin(), lateMs.end());
    std::printf("timetable_entries %d\n", entries);
    std::printf("timetable_late_median_ms %.2f\n", (lateMs[entries / 2 - 1] + lateMs[entries / 2]) / 2);
    std::printf("timetable_late_worst_ms %.2f\n", lateMs.back());

    // --- Idle: a week of entries, none due within the measurement, then off.
    QByteArray week = "location 52.52 13.405\n";
    const QTime later = QTime::currentTime().addSecs(3 * 3600);
    const char *days[] = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
    for (const char *day : days) {
        for (int k = 0; k < 4; ++k)
            week += QByteArray(day) + ' ' + later.addSecs(k * 1800).toString(QStringLiteral("HH:mm")).toLatin1()
                + " show " + QByteArray::number(k + 1) + '\n';
        week += QByteArray(day) + " sunset+15 brightness 40\n";
    }
    writeFile(file, week);
    TimerCount timers;
    app.installEventFilter(&timers);
    for (const bool running : { true, false }) {
        settings.store(QStringLiteral("timetable/enabled"), running);
        LumivaneMainWindow window;
        window.show();
        // Settled: shown, painted, the start-up's single shots done.
        QTest::qWait(1000);
        // The pixmap cache's own clean-up timer runs for some half a minute
        // after painting, in whichever phase comes first: not the timetable's.
        QPixmapCache::clear();
        // One timer ends the span; QTest::qWait would wake every 10 ms.
        QEventLoop idle;
        QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
        // What the timetable's one timer is set to: its wake-ups a minute
        // are 60 over this, whatever a short span happens to catch.
        const int armedMs = window.panel().timetableClock().remainingMs();
        timers.count = -1;
        const long before = voluntarySwitches();
        idle.exec();
        const long wakeups = voluntarySwitches() - before - 1;
        const char *name = running ? "on" : "off";
        if (running)
            std::printf("idle_on_timetable_wait_s %.1f\n", armedMs / 1000.0);
        std::printf("idle_%s_timer_events_per_min %.1f\n", name, timers.count * 60.0 / idleSeconds);
        std::printf("idle_%s_wakeups_per_min %.1f\n", name, wakeups * 60.0 / idleSeconds);
    }
    std::printf("idle_seconds %d\n", idleSeconds);
    return 0;
}
