// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// In-process timings of the controller on a pseudo-terminal, each beside its
// floor on the same terminal:
//   click to wire: a mouse click on a show selector until its five bytes
//     arrive on the master, against a bare write() of five bytes; each on an
//     idle line, a command's line time after the one before. A thread of its
//     own reads the master, so the time is the wire's: what the window does
//     after the write (the journal, the last-command line) is timed apart,
//     as the click's handling;
//   remote to wire: an OSC datagram sent to the remote port until the same
//     show's bytes arrive, in the same run as the clicks;
//   slider drag: process CPU time per step over full drags (99 steps).
// Prints "name value" lines for tools/bench.sh. Settings are private.
#include "link/commands.h"
#include "window/lumivanemainwindow.h"
#include "../tests/testsupport.h"
#include "wire.h"

#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QUdpSocket>
#include <QtEndian>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double cpuMicros()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const auto at = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[at];
}

// Blocks until count bytes have come through the master.
QByteArray readExactly(int master, int count)
{
    QByteArray bytes;
    char buffer[4096];
    while (bytes.size() < count) {
        pollfd pfd { master, POLLIN, 0 };
        if (poll(&pfd, 1, 2000) <= 0)
            break;
        const ssize_t n = ::read(master, buffer, std::min<std::size_t>(sizeof buffer, count - bytes.size()));
        if (n > 0)
            bytes.append(buffer, n);
    }
    return bytes;
}

void sendMouse(QWidget *widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

int failed(const char *what)
{
    std::fprintf(stderr, "bench_controller: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int clicks = argc > 1 ? std::max(1000, atoi(argv[1])) : 2000;
    const int drags = argc > 2 ? std::max(2, atoi(argv[2])) : 100;

    TemporarySettings settings;
    Pty pty;
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
    const quint16 port = probe.localPort();
    probe.close();
    settings.store(QStringLiteral("remote/enabled"), true);
    settings.store(QStringLiteral("remote/port"), port);
    // Opened before the program takes the terminal for itself, so the floor
    // writes into the very same line.
    const int bare = ::open(pty.slavePath.constData(), O_RDWR | O_NOCTTY);
    if (bare < 0)
        return failed("cannot open the terminal");

    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return failed("the window was not shown");

    const QList<QRadioButton *> buttons =
        window.mTabber->widget(0)->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
    std::vector<double> clickUs, releaseUs, releaseHandledUs, writeUs, remoteUs;
    const int warmUp = 100;
    // Longer than five bytes take at 9600 baud, so the line is idle again.
    // The event loop runs meanwhile, as it does between an operator's clicks:
    // what the last command changed on the screen is painted then, not in
    // the next click's own repaint.
    const auto idleLine = [] { QTest::qWait(6); };
    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    {
        WireWatch wire(pty.master);
        // Microseconds from start until the command arrived, or -1 when
        // another command or none came.
        const auto toWire = [&wire](Clock::time_point start, const QByteArray &expected) {
            const auto arrival = wire.next();
            return arrival && arrival->first == expected ? micros(arrival->second - start) : -1.0;
        };
        for (int i = 0; i < warmUp + clicks; ++i) {
            idleLine();
            auto start = Clock::now();
            if (::write(bare, "X0100", 5) != 5)
                return failed("bare write");
            const double w = toWire(start, "X0100");
            if (w < 0)
                return failed("bare bytes lost");

            const int id = (i * 5 + 1) % 32; // never the show checked before
            start = Clock::now();
            QTest::mouseClick(buttons[id], Qt::LeftButton, {}, QPoint(5, 10));
            const double c = toWire(start, Commands::startShow(id));
            if (c < 0)
                return failed("click bytes wrong");

            // The same, timed from the button's release, which is what makes
            // it a click: the press's own repaint is left out.
            const int other = (id + 16) % 32;
            idleLine();
            QTest::mousePress(buttons[other], Qt::LeftButton, {}, QPoint(5, 10));
            start = Clock::now();
            QTest::mouseRelease(buttons[other], Qt::LeftButton, {}, QPoint(5, 10));
            const double handled = micros(Clock::now() - start);
            const double r = toWire(start, Commands::startShow(other));
            if (r < 0)
                return failed("release bytes wrong");
            if (i >= warmUp) {
                writeUs.push_back(w);
                clickUs.push_back(c);
                releaseUs.push_back(r);
                releaseHandledUs.push_back(handled);
            }
        }
        // Remote to wire: the datagram goes out on a plain socket, and the
        // event loop runs until the bytes are there, as it would for the
        // program.
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < warmUp + clicks; ++i) {
            idleLine();
            const int id = (i * 5 + 3) % 32;
            QByteArray packet("/lumivane/show\0\0,i\0\0", 20);
            packet.resize(24);
            qToBigEndian<qint32>(id + 1, packet.data() + 20);
            const auto start = Clock::now();
            if (::sendto(sender, packet.constData(), std::size_t(packet.size()), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to) != packet.size())
                return failed("sendto");
            std::optional<std::pair<QByteArray, Clock::time_point>> arrival;
            while (!arrival && Clock::now() - start < std::chrono::seconds(2)) {
                QCoreApplication::processEvents();
                arrival = wire.next(Clock::duration::zero());
            }
            if (!arrival || arrival->first != Commands::startShow(id))
                return failed("remote bytes wrong");
            if (i >= warmUp)
                remoteUs.push_back(micros(arrival->second - start));
        }
    }
    ::close(sender);

    std::printf("clicks %d\n", clicks);
    std::printf("remote_median_us %.1f\nremote_p99_us %.1f\n", percentile(remoteUs, 0.5), percentile(remoteUs, 0.99));
    std::printf("click_median_us %.1f\nclick_p99_us %.1f\n", percentile(clickUs, 0.5), percentile(clickUs, 0.99));
    std::printf("release_median_us %.1f\nrelease_p99_us %.1f\n", percentile(releaseUs, 0.5), percentile(releaseUs, 0.99));
    std::printf("release_handled_median_us %.1f\nrelease_handled_p99_us %.1f\n", percentile(releaseHandledUs, 0.5),
                percentile(releaseHandledUs, 0.99));
    std::printf("write_median_us %.1f\nwrite_p99_us %.1f\n", percentile(writeUs, 0.5), percentile(writeUs, 0.99));

    // Full drags with the mouse, down to the bottom and back to the top.
    QSlider *slider = window.mBrightSlider;
    std::vector<double> perCommandUs;
    for (int d = 0; d < drags; ++d) {
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.tickPosition = slider->tickPosition();
        option.tickInterval = slider->tickInterval();
        option.singleStep = slider->singleStep();
        option.pageStep = slider->pageStep();
        // As QSlider has it for a vertical slider; inverted puts 0 at the top.
        option.upsideDown = !slider->invertedAppearance();
        const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                             QStyle::SC_SliderHandle, slider);
        const bool down = slider->value() == slider->minimum();
        QPoint at = handle.center();
        const int end = down ? slider->height() + 10 : -10;

        const double cpuStart = cpuMicros();
        sendMouse(slider, QEvent::MouseButtonPress, at, Qt::LeftButton);
        while (at.y() != end) {
            at.ry() += down ? 1 : -1;
            sendMouse(slider, QEvent::MouseMove, at, Qt::LeftButton);
        }
        sendMouse(slider, QEvent::MouseButtonRelease, at, Qt::NoButton);
        const double cpu = cpuMicros() - cpuStart;

        // Paced at the line's rate, the steps in between may be overtaken.
        const QByteArray got = pty.read(20);
        const QByteArray last = down ? "X0201" : "X02FF";
        if (got.size() % 5 != 0 || !got.endsWith(last))
            return failed("a drag ended on the wrong level");
        perCommandUs.push_back(cpu / 99);
    }
    std::printf("drags %d\n", drags);
    std::printf("drag_cpu_per_command_median_us %.2f\ndrag_cpu_per_command_p99_us %.2f\n",
                percentile(perCommandUs, 0.5), percentile(perCommandUs, 0.99));

    // The floor for CPU: the same 99 commands as bare writes.
    std::vector<double> bareCpuUs;
    for (int d = 0; d < drags; ++d) {
        const double cpuStart = cpuMicros();
        for (int k = 0; k < 99; ++k) {
            if (::write(bare, "X02FF", 5) != 5)
                return failed("bare write");
        }
        bareCpuUs.push_back((cpuMicros() - cpuStart) / 99);
        readExactly(pty.master, 99 * 5);
    }
    std::printf("write_cpu_per_command_median_us %.2f\n", percentile(bareCpuUs, 0.5));
    ::close(bare);
    return 0;
}
