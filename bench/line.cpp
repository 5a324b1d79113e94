// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The controller in front of a line read at its real rate (9600 baud, one
// byte per 1.04 ms), driven at the pace of a real mouse:
//   drag_Nms: a full slider drag with N ms between motion events; the time
//     from the motion that set the final value until the final brightness
//     has arrived;
//   off_after_drag: a 1 ms drag and Off at once; until Off has arrived;
//   stall: the far end stops reading and the terminal fills up while the
//     operator presses Up 15 times and then Off within half a second; the
//     longest time the event loop did not run, and whether the state the
//     window shows arrives whole once the far end reads again.
// Prints "name value" lines (medians over the runs) for bench/run.py.
#include "link/commands.h"
#include "window/lumivanemainwindow.h"
#include "../tests/testsupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Clock = LineRateReader::Clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

void sendMouse(QWidget *widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

QPoint handleCentre(QSlider *slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.upsideDown = !slider->invertedAppearance();
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

// Lets the event loop run until `until`, as it does between a real mouse's
// events.
void runUntil(Clock::time_point until)
{
    while (Clock::now() < until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        QEventLoop loop;
        QTimer::singleShot(std::max<int>(0, int(left.count())), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

struct Drag
{
    Clock::time_point lastChange; // the motion event that set the final value
    QByteArray finalCommand;
};

// A full drag to the other end, one pixel per motion event, `gapMs` apart.
Drag drag(QSlider *slider, int gapMs)
{
    const bool down = slider->value() == slider->minimum();
    QPoint at = handleCentre(slider);
    const int end = down ? slider->height() + 10 : -10;
    Drag result;
    auto next = Clock::now();
    sendMouse(slider, QEvent::MouseButtonPress, at, Qt::LeftButton);
    while (at.y() != end) {
        next += std::chrono::milliseconds(gapMs);
        runUntil(next);
        at.ry() += down ? 1 : -1;
        const int before = slider->value();
        const auto sent = Clock::now();
        sendMouse(slider, QEvent::MouseMove, at, Qt::LeftButton);
        if (slider->value() != before)
            result.lastChange = sent;
    }
    sendMouse(slider, QEvent::MouseButtonRelease, at, Qt::NoButton);
    result.finalCommand = Commands::brightness(Commands::brightnessLevel(slider->value(), slider->maximum()));
    return result;
}

// When `command` arrived as the last one, or -1.
double arrivalAfter(const LineRateReader &reader, const QByteArray &command, Clock::time_point from)
{
    if (!reader.waitQuiet(60, 5000))
        return -1;
    const QList<LineRateReader::Command> got = reader.commands();
    if (got.isEmpty() || got.last().bytes != command)
        return -1;
    return ms(got.last().at - from);
}

int failed(const char *what)
{
    std::fprintf(stderr, "bench_line: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    TemporarySettings settings;
    Pty pty;
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
    // Opened before the program takes the terminal: fills it for the stall.
    const int filler = ::open(pty.slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (filler < 0)
        return failed("cannot open the terminal");

    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return failed("the window was not shown");
    QSlider *slider = window.mBrightSlider;

    for (const int gapMs : { 1, 4, 16 }) {
        std::vector<double> latencies;
        for (int r = 0; r < runs; ++r) {
            LineRateReader reader(pty.master);
            const Drag d = drag(slider, gapMs);
            latencies.push_back(arrivalAfter(reader, d.finalCommand, d.lastChange));
        }
        std::printf("drag_%dms_final_ms %.1f\n", gapMs, median(latencies));
    }

    std::vector<double> offLatencies;
    for (int r = 0; r < runs; ++r) {
        LineRateReader reader(pty.master);
        drag(slider, 1);
        const auto off = Clock::now();
        QTest::mouseClick(window.mOffButton, Qt::LeftButton);
        offLatencies.push_back(arrivalAfter(reader, QByteArray(Commands::off), off));
    }
    std::printf("off_after_drag_ms %.1f\n", median(offLatencies));

    std::vector<double> blocked, whole;
    for (int r = 0; r < runs; ++r) {
        LineRateReader reader(pty.master);
        slider->setValue(50);
        runUntil(Clock::now() + std::chrono::milliseconds(20));
        reader.setStalled(true);
        // Bytes outside any command, so that the reader can tell them apart.
        while (::write(filler, ".", 1) == 1) {
        }

        double longest = 0;
        auto last = Clock::now();
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longest = std::max(longest, ms(now - last));
            last = now;
        });
        heartbeat.start(1);
        slider->setFocus();
        const auto start = Clock::now();
        for (int k = 0; k < 15; ++k) {
            runUntil(start + std::chrono::milliseconds(30 * k));
            QTest::keyClick(slider, Qt::Key_Up);
        }
        runUntil(start + std::chrono::milliseconds(470));
        QTest::mouseClick(window.mOffButton, Qt::LeftButton);
        const QByteArray brightness =
            Commands::brightness(Commands::brightnessLevel(slider->value(), slider->maximum()));
        runUntil(Clock::now() + std::chrono::milliseconds(1500));
        heartbeat.stop();
        blocked.push_back(std::max(longest, ms(Clock::now() - last)));

        reader.setFast(true);
        reader.setStalled(false);
        runUntil(Clock::now() + std::chrono::milliseconds(100));
        const auto resumed = Clock::now();
        bool arrived = false;
        while (!arrived && Clock::now() - resumed < std::chrono::seconds(30)) {
            runUntil(Clock::now() + std::chrono::milliseconds(20));
            const QList<LineRateReader::Command> got = reader.commands();
            arrived = reader.waitQuiet(100, 100) && got.size() >= 2
                && got.last().bytes == Commands::off && got[got.size() - 2].bytes == brightness;
        }
        bool broken = false;
        for (const LineRateReader::Command &c : reader.commands())
            broken = broken || c.bytes.size() != 5;
        whole.push_back(arrived && !broken ? 1 : 0);
    }
    std::printf("stall_loop_blocked_ms %.1f\n", median(blocked));
    std::printf("stall_final_state_whole %.0f\n", median(whole));
    ::close(filler);
    return 0;
}
