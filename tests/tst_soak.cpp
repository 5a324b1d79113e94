// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/commands.h"
#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <atomic>
#include <memory>
#include <thread>

#include <unistd.h>

// A long session through the controller into a pseudo-terminal, with a
// reader on the far side checking every byte as it comes, so that neither
// side has to keep the whole stream.
class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void hundredThousandCommands();
};

namespace {

constexpr int commandCount = 100000;
constexpr int warmUp = 10000;
// Room for allocator noise, far below what a leak of even a few bytes per
// command would add over 90,000 commands.
constexpr long allowedGrowthKiB = 512;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed blocks back in its quarantine, so resident
// size grows by design there; LeakSanitizer checks that build instead.
constexpr bool residentSizeMeans = false;
#else
constexpr bool residentSizeMeans = true;
#endif

// Shows all over the four pages, the slider now and then, Off every tenth.
enum class Action { Show, Slider, Off };
Action actionAt(int i)
{
    switch (i % 10) {
    case 9: return Action::Off;
    case 4: return Action::Slider;
    default: return Action::Show;
    }
}
int showAt(int i) { return (i * 37) % 128; }
int sliderAt(int i) { return i % 100; } // 4, 14, ... 94: never the value before

QByteArray expectedAt(int i)
{
    switch (actionAt(i)) {
    case Action::Show: return Commands::startShow(showAt(i));
    case Action::Slider: return Commands::brightness(Commands::brightnessLevel(sliderAt(i), 99));
    case Action::Off: return QByteArray(Commands::off);
    }
    return {};
}

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

void tst_Soak::hundredThousandCommands()
{
    TemporarySettings settings;
    Pty pty;
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
    LumivaneMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The writer paces the commands at the line's rate, so most of them give
    // way to newer ones: what arrives must be whole commands the operator
    // chose, in the order chosen, ending with the last one.
    std::atomic<int> chosen { 0 };
    std::atomic<bool> lastIsFinal { false };
    std::atomic<long long> received { 0 };
    std::atomic<long long> firstMismatch { -1 };
    std::atomic<bool> stop { false };
    std::thread reader([&] {
        long long at = 0; // byte position in the whole stream
        QByteArray frame;
        int next = 0; // the first action the next frame may stand for
        char buffer[4096];
        while (!stop.load()) {
            pollfd pfd { pty.master, POLLIN, 0 };
            if (poll(&pfd, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            for (ssize_t k = 0; k < n; ++k, ++at) {
                frame.append(buffer[k]);
                if (frame.size() < 5)
                    continue;
                const int limit = chosen.load();
                while (next < limit && expectedAt(next) != frame)
                    ++next;
                if (next == limit && firstMismatch.load() < 0)
                    firstMismatch = at;
                ++next;
                lastIsFinal = frame == expectedAt(commandCount - 1);
                frame.clear();
            }
            received = at;
        }
    });

    QList<QRadioButton *> buttons;
    for (int id = 0; id < 128; ++id)
        buttons += showButton(window, id);

    long afterWarmUp = 0;
    for (int i = 0; i < commandCount; ++i) {
        chosen = i + 1; // its command may go out while it is handled
        switch (actionAt(i)) {
        case Action::Show: buttons[showAt(i)]->click(); break;
        case Action::Slider: window.mBrightSlider->setValue(sliderAt(i)); break;
        case Action::Off: window.mOffButton->click(); break;
        }
        if (i % 100 == 99)
            QCoreApplication::processEvents();
        if (i == warmUp - 1)
            afterWarmUp = residentKiB();
    }
    const long atEnd = residentKiB();

    QDeadlineTimer deadline(10000);
    for (long long seen = -1; seen != received.load() && !deadline.hasExpired();) {
        seen = received.load();
        QTest::qWait(50); // the writer sends from the event loop
    }
    stop = true;
    reader.join();

    QCOMPARE(firstMismatch.load(), -1LL);
    QVERIFY(lastIsFinal.load());
    QCOMPARE(pty.read(20), QByteArray()); // nothing beyond the last command
    qInfo("resident: %ld KiB after %d commands, %ld KiB after %d", afterWarmUp, warmUp, atEnd,
          commandCount);
    if (!residentSizeMeans)
        return;
    QVERIFY2(atEnd - afterWarmUp <= allowedGrowthKiB,
             qPrintable(QStringLiteral("grew by %1 KiB").arg(atEnd - afterWarmUp)));
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
