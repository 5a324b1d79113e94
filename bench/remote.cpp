// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A flood of OSC datagrams at the running controller, sent from another
// thread as fast as the loopback takes them without dropping any (the
// sender holds back only while the kernel's receive queue is nearly full): the longest time the event loop did not run, the growth of resident
// memory, and whether the last command of the flood is the player's final
// state; then bundles of 8 KiB, with a port and without one, while a text
// peer asks for the state and times the replies; last, a text peer that
// sends state lines and never reads its replies, for 60 s (or argv[2]),
// while another asks for the state. Prints "name value" lines for
// bench/run.py. Settings are private.
#include "window/lumivanemainwindow.h"
#include "../tests/testsupport.h"

#include <QEventLoop>
#include <QtEndian>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray oscShow(int show)
{
    QByteArray packet("/lumivane/show\0\0,i\0\0", 20);
    packet.resize(24);
    qToBigEndian<qint32>(show, packet.data() + 20);
    return packet;
}

QByteArray oscBrightness(int percent)
{
    QByteArray packet("/lumivane/brightness\0\0\0\0,i\0\0", 28);
    packet.resize(32);
    qToBigEndian<qint32>(percent, packet.data() + 28);
    return packet;
}

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4;
}

// The receive queue and the drop count of the socket bound to 127.0.0.1:port.
bool udpQueue(int port, long &queue, long &drops)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        if (local != wanted)
            continue;
        queue = std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        std::string word;
        for (int k = 0; k < 8 && fields >> word; ++k) {
        }
        drops = std::stol(word);
        return true;
    }
    return false;
}

// A bundle of 8 KiB at most, all show/N messages.
QByteArray oscBundle(int first)
{
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (int k = 0;; ++k) {
        QByteArray message = "/lumivane/show/" + QByteArray::number((first + k) % 128 + 1);
        message.append('\0');
        while (message.size() % 4)
            message.append('\0');
        message.append(",\0\0\0", 4);
        if (bundle.size() + 4 + message.size() > 8192)
            return bundle;
        QByteArray size(4, '\0');
        qToBigEndian<qint32>(qint32(message.size()), size.data());
        bundle += size + message;
    }
}

struct BundleFlood
{
    long bundles = 0;
    long states = 0;
    double stateWorstMs = 0;
    double loopBlockedMs = 0;
    // The same in the window thread's processor time, which a loaded machine
    // does not stretch: the work of the longest turn itself.
    double loopBlockedCpuMs = 0;
};

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

sockaddr_in loopback(int port)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

// A text peer that asks for the state every 10 ms while running, and times
// each reply; a reply that never comes counts as 1e9 ms.
void askState(int port, std::atomic<bool> &running, long &states, double &worstMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = loopback(port);
    const timeval patience { 2, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        worstMs = 1e9;
        ::close(fd);
        return;
    }
    char buffer[512];
    while (running) {
        const auto asked = Clock::now();
        if (::send(fd, "state\n", 6, 0) != 6)
            break;
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                worstMs = 1e9;
                running = false;
                break;
            }
            if (std::memchr(buffer, '\n', std::size_t(n)))
                break;
        }
        worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
        ++states;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
}

// Runs the event loop until the threads started have ended; they may be
// waiting for a reply, which needs the loop.
void joinWhileServing(std::thread &a, std::thread &b)
{
    std::atomic<bool> joined = false;
    std::thread joiner([&] {
        a.join();
        b.join();
        joined = true;
    });
    while (!joined)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    joiner.join();
}

struct NonReader
{
    double seconds = 0;
    long bytesSent = 0;
    long rssGrowthKiB = 0;     // at the end of the span
    long rssPeakGrowthKiB = 0; // the most at any look, every 100 ms
    long rssAfterKiB = 0;      // 2 s after it stopped sending, still connected
    long states = 0;
    double stateWorstMs = 0;
};

// A text peer that sends state lines as fast as it can and reads nothing,
// for `seconds`, while another asks for the state every 10 ms.
NonReader nonReadingPeer(int port, double seconds)
{
    NonReader result;
    result.seconds = seconds;
    std::atomic<bool> running = true;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        result.stateWorstMs = 1e9;
        return result;
    }
    std::string lines;
    for (int k = 0; k < 1000; ++k)
        lines += "state\n";
    std::thread sender([&] {
        std::size_t at = 0;
        while (running) {
            const ssize_t n = ::send(fd, lines.data() + at, lines.size() - at, MSG_DONTWAIT);
            if (n > 0) {
                result.bytesSent += n;
                at = (at + std::size_t(n)) % lines.size();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    std::thread asker([&] { askState(port, running, result.states, result.stateWorstMs); });

    const long before = residentKiB();
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        result.rssPeakGrowthKiB = std::max(result.rssPeakGrowthKiB, residentKiB() - before);
    });
    look.start(100);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    result.rssGrowthKiB = residentKiB() - before;
    running = false;
    joinWhileServing(sender, asker);
    QTest::qWait(2000);
    look.stop();
    result.rssAfterKiB = residentKiB() - before;
    result.rssPeakGrowthKiB = std::max(result.rssPeakGrowthKiB, result.rssAfterKiB);
    ::close(fd);
    return result;
}

// Bundles of 8 KiB as fast as the receive queue takes them for `seconds`,
// while a text peer asks for the state every 10 ms and times each reply.
BundleFlood floodBundles(int port, double seconds)
{
    BundleFlood result;
    std::atomic<bool> running = true;
    std::thread sender([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(quint16(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        long queue = 0, drops = 0;
        for (int k = 0; running; ++k) {
            while (running && udpQueue(port, queue, drops) && queue > 150000)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            const QByteArray bundle = oscBundle(k);
            if (::sendto(fd, bundle.constData(), std::size_t(bundle.size()), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to) == bundle.size())
                ++result.bundles;
        }
        ::close(fd);
    });
    std::thread asker([&] { askState(port, running, result.states, result.stateWorstMs); });

    auto last = Clock::now();
    double lastCpu = threadCpuMs();
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double cpu = threadCpuMs();
        result.loopBlockedMs = std::max(result.loopBlockedMs, std::chrono::duration<double, std::milli>(now - last).count());
        result.loopBlockedCpuMs = std::max(result.loopBlockedCpuMs, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    });
    heartbeat.start(1);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    heartbeat.stop();
    running = false;
    joinWhileServing(sender, asker);
    return result;
}

int failed(const char *what)
{
    std::fprintf(stderr, "bench_remote: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;

    TemporarySettings settings;
    Pty pty;
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
    const int port = probe.localPort();
    probe.close();
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
    settings.store(QStringLiteral("remote/enabled"), true);
    settings.store(QStringLiteral("remote/port"), port);

    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return failed("the window was not shown");

    // The far end reads all the time, as a player does; the last command is
    // what it ends with.
    std::atomic<bool> reading = true;
    std::string received;
    std::mutex receivedLock;
    std::thread reader([&] {
        char buffer[4096];
        while (reading) {
            pollfd pfd { pty.master, POLLIN, 0 };
            if (poll(&pfd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard lock(receivedLock);
                received.append(buffer, std::size_t(n));
                if (received.size() > 64)
                    received.erase(0, received.size() - 64);
            }
        }
    });

    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto send = [&](const QByteArray &packet) {
        return ::sendto(sender, packet.constData(), std::size_t(packet.size()), 0,
                        reinterpret_cast<const sockaddr *>(&to), sizeof to) == packet.size();
    };

    // Warm up: the buffers a steady stream needs are there before measuring.
    for (int k = 0; k < 2000; ++k) {
        send(oscShow(k % 128 + 1));
        if (k % 32 == 0)
            QTest::qWait(1);
    }
    QTest::qWait(300);
    const long rssBefore = residentKiB();
    long queue = 0, dropsBefore = 0, dropsAfter = 0;
    if (!udpQueue(port, queue, dropsBefore))
        return failed("the remote socket is not in /proc/net/udp");

    // The last command is a show no other datagram of the flood names.
    const int finalShow = 77;
    std::atomic<bool> sending = true;
    long waits = 0;
    const auto start = Clock::now();
    std::thread flood([&] {
        for (int k = 0; k < count - 1; ++k) {
            // The default queue (208 KiB) holds about 250 such datagrams.
            // Reading /proc costs far more than a datagram: looked at every
            // 32, and waited on asleep, leaving the processor to the window.
            if (k % 32 == 0) {
                while (udpQueue(port, queue, dropsAfter) && queue > 150000) {
                    ++waits;
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                }
            }
            int show = k % 128 + 1;
            if (show == finalShow)
                show = 1;
            send(k % 5 == 4 ? oscBrightness(k % 101) : oscShow(show));
        }
        send(oscShow(finalShow));
        sending = false;
    });

    double longest = 0;
    auto last = Clock::now();
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    heartbeat.start(1);
    const QByteArray finalBytes = "X044D";
    const auto finished = [&] {
        std::lock_guard lock(receivedLock);
        return !sending && received.size() >= 5 && received.substr(received.size() - 5) == finalBytes.toStdString();
    };
    // A real event loop, as the program runs: QTest::qWaitFor would sleep
    // 10 ms between its looks, and those sleeps would be counted as blocks.
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (finished() || Clock::now() - start > std::chrono::seconds(120))
            loop.quit();
    });
    look.start(1);
    loop.exec();
    look.stop();
    const bool arrived = finished();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    heartbeat.stop();
    flood.join();
    QTest::qWait(200);
    udpQueue(port, queue, dropsAfter);
    const long rssAfter = residentKiB();

    const bool finalChecked = showButton(window, finalShow - 1)->isChecked();
    std::string tail;
    {
        std::lock_guard lock(receivedLock);
        tail = received.substr(received.size() >= 5 ? received.size() - 5 : 0);
    }
    ::close(sender);

    // Bundles with the port open, then with it gone: the far end closed, the
    // window drops the port and every command is refused.
    const BundleFlood withPort = floodBundles(port, 3);
    reading = false;
    reader.join();
    pty.closeMaster();
    if (!QTest::qWaitFor([&] { return !window.linkText().startsWith(QStringLiteral("Connected")); }, 5000))
        return failed("the port did not close with its far end");
    const BundleFlood withoutPort = floodBundles(port, 3);
    const NonReader nonReader = nonReadingPeer(port, argc > 2 ? std::max(1.0, atof(argv[2])) : 60.0);

    std::printf("flood_datagrams %d\n", count);
    std::printf("flood_seconds %.2f\n", seconds);
    std::printf("flood_loop_blocked_ms %.2f\n", longest);
    std::printf("flood_rss_growth_kib %ld\n", rssAfter - rssBefore);
    std::printf("flood_kernel_drops %ld\n", dropsAfter - dropsBefore);
    std::printf("flood_sender_waits %ld\n", waits);
    std::printf("flood_final_state_ok %d\n", arrived && finalChecked && tail == finalBytes.toStdString() ? 1 : 0);
    const auto printBundles = [](const char *name, const BundleFlood &flood) {
        std::printf("%s_bundles %ld\n", name, flood.bundles);
        std::printf("%s_states %ld\n", name, flood.states);
        std::printf("%s_state_worst_ms %.2f\n", name, flood.stateWorstMs);
        std::printf("%s_loop_blocked_ms %.2f\n", name, flood.loopBlockedMs);
        std::printf("%s_loop_blocked_cpu_ms %.2f\n", name, flood.loopBlockedCpuMs);
    };
    printBundles("bundles_port", withPort);
    printBundles("bundles_noport", withoutPort);
    std::printf("nonreader_seconds %.0f\n", nonReader.seconds);
    std::printf("nonreader_bytes_sent %ld\n", nonReader.bytesSent);
    std::printf("nonreader_rss_growth_kib %ld\n", nonReader.rssGrowthKiB);
    std::printf("nonreader_rss_peak_growth_kib %ld\n", nonReader.rssPeakGrowthKiB);
    std::printf("nonreader_rss_after_kib %ld\n", nonReader.rssAfterKiB);
    std::printf("nonreader_states %ld\n", nonReader.states);
    std::printf("nonreader_state_worst_ms %.2f\n", nonReader.stateWorstMs);
    return 0;
}
