// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The browser panel in the running window, beside remote control's text
// protocol in the same run. Peers are plain blocking sockets on a thread of
// their own, while the window runs its own event loop, asleep between
// events as the program's is:
//   page to wire: POST /api/command "show N", as a browser's fetch sends it,
//     on a kept-alive connection, until the show's bytes arrive on the
//     master; interleaved with "show N" as a text line on a kept-alive
//     remote connection, each on an idle line;
//   a change to 16 event streams: a text line "show N" written until the
//     event saying so has arrived on the last of 16 open GET /api/events,
//     beside its bytes on the line;
//   32 idle connections: the longest event-loop block while they come in,
//     ask the state once and fall silent, against the same span with none
//     coming; then the main thread's wake-ups and the process's processor
//     time, idle, with them open and with none.
// Prints "name value" lines for bench/run.py. Settings are private.
//   bench_web [commands, default 2000] [idle seconds per phase, default 20]
#include "wakeups.h"
#include "link/commands.h"
#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "../tests/remotepeer.h"
#include "../tests/testsupport.h"
#include "wire.h"

#include <QEventLoop>
#include <QPixmapCache>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = WireWatch::Clock;

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const auto at = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[at];
}

double cpuMs(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A connected loopback TCP socket, blocking, with a 2 s patience for
// replies; -1 when the connection failed.
int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval patience { 2, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    return ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
}

// Reads until `done` says the bytes so far are whole; false on a close, an
// error or the socket's patience running out.
bool readUntil(int fd, QByteArray &got, const std::function<bool(const QByteArray &)> &done)
{
    char buffer[4096];
    while (!done(got)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        got.append(buffer, n);
    }
    return true;
}

// One whole response, head and Content-Length body, off a kept-alive
// connection; empty when none came.
QByteArray httpResponse(int fd)
{
    QByteArray got;
    qsizetype whole = -1;
    const bool ok = readUntil(fd, got, [&whole](const QByteArray &bytes) {
        const qsizetype head = bytes.indexOf("\r\n\r\n");
        if (head < 0)
            return false;
        if (whole < 0) {
            const qsizetype field = bytes.indexOf("Content-Length: ");
            if (field < 0 || field > head)
                return true;
            whole = head + 4 + bytes.mid(field + 16, bytes.indexOf("\r\n", field) - field - 16).toLongLong();
        }
        return bytes.size() >= whole;
    });
    return ok ? got : QByteArray();
}

// What a browser's fetch() from the page sends for a command.
QByteArray pageCommand(quint16 port, int show)
{
    const QByteArray body = "show " + QByteArray::number(show);
    const QByteArray origin = "127.0.0.1:" + QByteArray::number(port);
    return "POST /api/command HTTP/1.1\r\nHost: " + origin
        + "\r\nConnection: keep-alive\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0"
          "\r\nAccept: */*\r\nAccept-Language: en-GB,en;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
          "Content-Type: text/plain;charset=UTF-8\r\nX-Lumivane-Request: 1\r\nOrigin: http://"
        + origin + "\r\nSec-Fetch-Dest: empty\r\nSec-Fetch-Mode: cors\r\nSec-Fetch-Site: same-origin\r\n\r\n" + body;
}

// Runs the window's event loop until `peer`, on a thread of its own, has
// returned; its answer is what it failed at, or nothing.
const char *serveWhile(const std::function<const char *()> &peer)
{
    QEventLoop loop;
    const char *fault = nullptr;
    std::thread thread([&] {
        fault = peer();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
    return fault;
}

struct Turns
{
    double longestMs = 0;
    // The most processor time the window's thread took in one turn, which a
    // loaded machine does not stretch: the turns' own work.
    double mostCpuMs = 0;
};

// The event loop's turns, timed by a 1 ms heartbeat, while `peer` runs as
// serveWhile() runs it; a fault is left in `fault`.
Turns turnsWhile(const std::function<const char *()> &peer, const char *&fault)
{
    QTest::qWait(1000);
    Turns turns;
    auto last = Clock::now();
    double lastCpu = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double cpu = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        turns.longestMs = std::max(turns.longestMs, std::chrono::duration<double, std::milli>(now - last).count());
        turns.mostCpuMs = std::max(turns.mostCpuMs, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    });
    heartbeat.start(1);
    if (const char *failure = serveWhile(peer))
        fault = failure;
    return turns;
}

struct Idle
{
    double wakeupsPerMin = 0;
    double cpuMsPerMin = 0;
};

// The settled window left alone for `seconds`: one timer ends the span, so
// the measurement adds a single wake-up, which is not counted.
Idle idleFor(int seconds)
{
    QTest::qWait(2000);
    // The pixmap cache's own clean-up timer runs for some half a minute
    // after painting: not the connections'.
    QPixmapCache::clear();
    QEventLoop idle;
    QTimer::singleShot(seconds * 1000, &idle, &QEventLoop::quit);
    const double cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const long before = voluntarySwitches();
    idle.exec();
    const long wakeups = voluntarySwitches() - before - 1;
    return { wakeups * 60.0 / seconds, (cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu) * 60.0 / seconds };
}

int failed(const char *what)
{
    std::fprintf(stderr, "bench_web: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int commands = argc > 1 ? std::max(100, atoi(argv[1])) : 2000;
    // The server lets an idle connection go after a minute; the 32 are open
    // some 5 s before their span begins.
    const int idleSeconds = argc > 2 ? std::clamp(atoi(argv[2]), 1, 50) : 20;
    constexpr int warmUp = 100;
    constexpr int streams = 16;
    constexpr int changes = 500;
    constexpr int idlers = 32;

    TemporarySettings settings;
    Pty pty;
    const quint16 remotePort = freePort();
    quint16 webPort = freePort();
    while (webPort == remotePort)
        webPort = freePort();
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
    settings.store(QStringLiteral("remote/enabled"), true);
    settings.store(QStringLiteral("remote/port"), remotePort);
    settings.store(QStringLiteral("web/enabled"), true);
    settings.store(QStringLiteral("web/port"), webPort);

    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return failed("the window was not shown");
    if (!window.panel().web().listening() || window.panel().web().port() != webPort)
        return failed("the browser panel is not listening");

    const int text = connectTo(remotePort);
    const int page = connectTo(webPort);
    if (text < 0 || page < 0)
        return failed("cannot connect");
    // "show N\n" on the remote connection, and its reply.
    const auto textLine = [](int show) { return "show " + QByteArray::number(show) + '\n'; };
    const auto textReply = [text](int show) {
        QByteArray got;
        return readUntil(text, got, [](const QByteArray &bytes) { return bytes.endsWith('\n'); })
            && got == "ok show " + QByteArray::number(show) + '\n';
    };

    std::vector<double> textUs, pageUs, streamMs, streamWireMs;
    {
        WireWatch wire(pty.master);
        const char *fault = serveWhile([&]() -> const char * {
            // Longer than five bytes take at 9600 baud, so the line is idle again.
            const auto idleLine = [] { std::this_thread::sleep_for(std::chrono::milliseconds(6)); };
            for (int i = 0; i < warmUp + commands; ++i) {
                const int show = (i * 5 + 1) % 128 + 1;
                const QByteArray line = textLine(show);
                idleLine();
                auto start = Clock::now();
                if (!sendAll(text, line))
                    return "text write";
                auto arrival = wire.next();
                if (!arrival || arrival->first != Commands::startShow(show - 1))
                    return "text command's bytes wrong";
                if (!textReply(show))
                    return "text reply wrong";
                if (i >= warmUp)
                    textUs.push_back(micros(arrival->second - start));

                const int other = (show + 63) % 128 + 1;
                const QByteArray request = pageCommand(webPort, other);
                idleLine();
                start = Clock::now();
                if (!sendAll(page, request))
                    return "page write";
                arrival = wire.next();
                if (!arrival || arrival->first != Commands::startShow(other - 1))
                    return "page command's bytes wrong";
                const QByteArray reply = httpResponse(page);
                const QByteArray said = "\r\n\r\nok show " + QByteArray::number(other) + '\n';
                if (!reply.startsWith("HTTP/1.1 200 ") || !reply.endsWith(said))
                    return "page reply wrong";
                if (i >= warmUp)
                    pageUs.push_back(micros(arrival->second - start));
            }

            // Sixteen pages watching.
            std::vector<int> watchers;
            std::vector<QByteArray> seen(streams);
            for (int k = 0; k < streams; ++k) {
                const int fd = connectTo(webPort);
                if (fd < 0 || !sendAll(fd, "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(webPort)
                                           + "\r\nAccept: text/event-stream\r\n\r\n"))
                    return "stream connect";
                watchers.push_back(fd);
                if (!readUntil(fd, seen[k], [](const QByteArray &bytes) {
                        const qsizetype data = bytes.indexOf("data: {");
                        return data >= 0 && bytes.indexOf("\n\n", data) >= 0;
                    }))
                    return "stream's first event";
            }
            for (int i = 0; i < 20 + changes; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                // What came since the last change is not this one's.
                for (int k = 0; k < streams; ++k) {
                    char buffer[4096];
                    while (::recv(watchers[k], buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
                    }
                    seen[k].clear();
                }
                const int show = (i * 7 + 2) % 128 + 1;
                const QByteArray said = "\"show\":" + QByteArray::number(show) + ',';
                const QByteArray line = textLine(show);
                const auto start = Clock::now();
                if (!sendAll(text, line))
                    return "text write";
                Clock::time_point last = start;
                int told = 0;
                std::vector<bool> done(streams, false);
                while (told < streams && Clock::now() - start < std::chrono::seconds(2)) {
                    std::vector<pollfd> fds;
                    for (int k = 0; k < streams; ++k)
                        fds.push_back({ watchers[k], short(done[k] ? 0 : POLLIN), 0 });
                    if (::poll(fds.data(), fds.size(), 100) <= 0)
                        continue;
                    for (int k = 0; k < streams; ++k) {
                        if (!(fds[k].revents & POLLIN))
                            continue;
                        char buffer[4096];
                        const ssize_t n = ::recv(watchers[k], buffer, sizeof buffer, MSG_DONTWAIT);
                        const auto at = Clock::now();
                        if (n <= 0)
                            return "a stream closed";
                        seen[k].append(buffer, n);
                        const qsizetype event = seen[k].indexOf(said);
                        if (event >= 0 && seen[k].indexOf("\n\n", event) >= 0) {
                            done[k] = true;
                            last = at;
                            ++told;
                        }
                    }
                }
                if (told < streams)
                    return "a stream was not told of the change";
                const auto arrival = wire.next();
                if (!arrival || arrival->first != Commands::startShow(show - 1))
                    return "the change's bytes wrong";
                if (!textReply(show))
                    return "text reply wrong";
                if (i >= 20) {
                    streamMs.push_back(micros(last - start) / 1000);
                    streamWireMs.push_back(micros(arrival->second - start) / 1000);
                }
            }
            for (const int fd : watchers)
                ::close(fd);
            return nullptr;
        });
        if (fault)
            return failed(fault);
    }
    ::close(text);
    ::close(page);

    // Thirty-two connections come in, ask for the state once and fall
    // silent; the same span with nobody coming is the floor.
    constexpr auto turnSpan = std::chrono::seconds(3);
    std::vector<int> idle;
    const char *fault = nullptr;
    const Turns quiet = turnsWhile(
        [&]() -> const char * {
            std::this_thread::sleep_for(turnSpan);
            return nullptr;
        },
        fault);
    const Turns coming = turnsWhile(
        [&]() -> const char * {
            const auto start = Clock::now();
            for (int k = 0; k < idlers; ++k) {
                const int fd = connectTo(webPort);
                if (fd < 0 || !sendAll(fd, "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(webPort)
                                           + "\r\nAccept: application/json\r\n\r\n"))
                    return "idle connect";
                idle.push_back(fd);
                if (!httpResponse(fd).startsWith("HTTP/1.1 200 "))
                    return "idle connection's state";
            }
            std::this_thread::sleep_until(start + turnSpan);
            return nullptr;
        },
        fault);
    if (fault)
        return failed(fault);
    const Idle open = idleFor(idleSeconds);
    // Still open: nothing to read, not even the end of the stream.
    int stillOpen = 0;
    for (const int fd : idle) {
        pollfd pfd { fd, POLLIN, 0 };
        stillOpen += ::poll(&pfd, 1, 0) == 0 ? 1 : 0;
        ::close(fd);
    }
    const Idle none = idleFor(idleSeconds);

    std::printf("web_commands %d\n", commands);
    std::printf("web_text_command_median_us %.1f\nweb_text_command_p95_us %.1f\n", percentile(textUs, 0.5),
                percentile(textUs, 0.95));
    std::printf("web_page_command_median_us %.1f\nweb_page_command_p95_us %.1f\n", percentile(pageUs, 0.5),
                percentile(pageUs, 0.95));
    std::printf("web_streams %d\nweb_stream_changes %d\n", streams, changes);
    std::printf("web_stream_last_median_ms %.2f\nweb_stream_last_p95_ms %.2f\n", percentile(streamMs, 0.5),
                percentile(streamMs, 0.95));
    std::printf("web_stream_wire_median_ms %.2f\n", percentile(streamWireMs, 0.5));
    std::printf("web_idlers %d\nweb_idlers_still_open %d\n", idlers, stillOpen);
    std::printf("web_idlers_loop_blocked_ms %.2f\nweb_idlers_loop_blocked_cpu_ms %.2f\n", coming.longestMs,
                coming.mostCpuMs);
    std::printf("web_quiet_loop_blocked_ms %.2f\nweb_quiet_loop_blocked_cpu_ms %.2f\n", quiet.longestMs,
                quiet.mostCpuMs);
    std::printf("web_idle_seconds %d\n", idleSeconds);
    std::printf("web_idle_open_wakeups_per_min %.1f\nweb_idle_open_cpu_ms_per_min %.2f\n", open.wakeupsPerMin,
                open.cpuMsPerMin);
    std::printf("web_idle_none_wakeups_per_min %.1f\nweb_idle_none_cpu_ms_per_min %.2f\n", none.wakeupsPerMin,
                none.cpuMsPerMin);
    return 0;
}
