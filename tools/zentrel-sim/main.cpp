// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// zentrel-sim: a virtual show player at the far end of a pseudo-terminal.
// Usage: zentrel-sim [--link PATH] [--log FILE] [--quiet] [--baud N]
// The first line on standard output is "device: /dev/pts/N". SIGUSR1 prints
// the state; SIGUSR2 stops and resumes reading the line, as a stalled
// adapter would; SIGINT and SIGTERM report any partial command, print the
// state, remove the link and exit 0. Exit 1: the pseudo-terminal failed; exit 2: bad
// arguments, an unwritable log, or something other than a symlink at PATH.

#include "decoder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A partial command or garbage left alone this long is reported, so a stray
// newline from "echo" shows up without waiting for the next command. A real
// sender writes a whole command at once, in about 5 ms at 9600 baud.
constexpr int kIdleFlushMs = 1000;

// Written by the signal handler, read by the main loop: poll() then wakes up
// even when the signal lands just before it blocks.
int gSignalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // Non-blocking: when the pipe is full a wake-up is already pending.
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

struct Options
{
    std::string link;
    std::string log;
    bool quiet = false;
    int baud = 0; // 0: read as fast as bytes come
};

void usage(FILE *to)
{
    std::fputs("usage: zentrel-sim [--link PATH] [--log FILE] [--quiet] [--baud N]\n"
               "  --link PATH  keep a symbolic link to the device at PATH\n"
               "  --log FILE   write every line to FILE as well\n"
               "  --quiet      print only the device line on standard output\n"
               "  --baud N     read one byte per ten bits at N baud, as a real line\n"
               "               delivers them; each command is stamped when its last\n"
               "               byte has arrived\n",
               to);
}

// -1: run; otherwise the exit status.
int parseArguments(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        }
        if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--baud") {
            char *end = nullptr;
            const long baud = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 == argc || *end != 0 || baud < 50 || baud > 4000000) {
                std::fputs("zentrel-sim: --baud needs a rate from 50 to 4000000\n", stderr);
                return 2;
            }
            options.baud = static_cast<int>(baud);
            ++i;
        } else if (arg == "--link" || arg == "--log") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "zentrel-sim: %s needs a path\n", arg.c_str());
                return 2;
            }
            (arg == "--link" ? options.link : options.log) = argv[++i];
        } else {
            std::fprintf(stderr, "zentrel-sim: unexpected argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    return -1;
}

std::string timestamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03ld", now.tv_nsec / 1000000L);
    return text;
}

class Output
{
public:
    bool quiet = false;
    FILE *log = nullptr;

    // Flushed per line: scripts and tests read the output while the sim runs.
    void line(const std::string &text)
    {
        const std::string stamped = timestamp() + ' ' + text + '\n';
        if (!quiet) {
            std::fputs(stamped.c_str(), stdout);
            std::fflush(stdout);
        }
        if (log) {
            std::fputs(stamped.c_str(), log);
            std::fflush(log);
        }
    }
};

bool failed(const char *what)
{
    std::fprintf(stderr, "zentrel-sim: %s: %s\n", what, std::strerror(errno));
    return false;
}

struct Pty
{
    int master = -1;
    int slave = -1;
    std::string path;
};

bool openPty(Pty &pty)
{
    pty.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0)
        return failed("cannot create a pseudo-terminal");
    char name[128];
    if (ptsname_r(pty.master, name, sizeof name) != 0)
        return failed("cannot name the pseudo-terminal");
    pty.path = name;

    // Held open for the whole run: when the last slave descriptor closes the
    // master reads EIO and polls as hung up, so a client closing and reopening
    // the port would otherwise end the simulation.
    pty.slave = open(name, O_RDWR | O_NOCTTY);
    if (pty.slave < 0)
        return failed(name);

    // Raw, so that no byte is translated, echoed or taken as a control
    // character. The speed is only recorded on a pty but clients may check it.
    termios line{};
    if (tcgetattr(pty.slave, &line) != 0)
        return failed("cannot read the line settings");
    cfmakeraw(&line);
    cfsetispeed(&line, B9600);
    cfsetospeed(&line, B9600);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
    line.c_cflag &= ~CRTSCTS;
#endif
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (tcsetattr(pty.slave, TCSANOW, &line) != 0)
        return failed("cannot apply the line settings");

    // Non-blocking so that a read until EAGAIN empties the master: a read
    // waits for bytes the kernel still has in flight, so nothing written
    // before a SIGTERM is lost.
    const int flags = fcntl(pty.master, F_GETFL);
    if (flags < 0 || fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0)
        return failed("cannot configure the pseudo-terminal");
    return true;
}

// Replaces a symbolic link in one step (rename), so a client never finds the
// path missing; refuses anything else at the path. A file created there
// between the check and the rename would be replaced: acceptable for a tool.
bool createLink(const std::string &link, const std::string &target)
{
    struct stat info{};
    if (lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        std::fprintf(stderr, "zentrel-sim: %s exists and is not a symbolic link; leaving it alone\n",
                     link.c_str());
        return false;
    }
    const std::string temporary = link + ".zentrel-sim-" + std::to_string(getpid());
    if (symlink(target.c_str(), temporary.c_str()) != 0)
        return failed(temporary.c_str());
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        failed(link.c_str());
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Only our own link: another simulator may have taken the path over since.
void removeLink(const std::string &link, const std::string &target)
{
    std::vector<char> buffer(target.size() + 2);
    const ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size());
    if (length >= 0 && std::string(buffer.data(), static_cast<std::size_t>(length)) == target)
        unlink(link.c_str());
}

bool installSignals()
{
    if (pipe(gSignalPipe) != 0)
        return failed("cannot create a pipe");
    for (const int fd : gSignalPipe) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
            return failed("cannot configure a pipe");
    }
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) {
        if (sigaction(signal, &action, nullptr) != 0)
            return failed("cannot install a signal handler");
    }
    // A reader of our standard output going away must not kill us silently.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

class Simulator
{
public:
    Simulator(int master, Output &output) : mMaster(master), mOutput(output) {}

    // Reads until the master is empty; false on a read error.
    bool drain(bool &gotBytes)
    {
        char buffer[256];
        for (;;) {
            const ssize_t n = read(mMaster, buffer, sizeof buffer);
            if (n > 0) {
                gotBytes = true;
                report(mDecoder.feed(buffer, static_cast<std::size_t>(n)));
            } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                return true;
            } else if (errno != EINTR) {
                return failed("cannot read the pseudo-terminal");
            }
        }
    }

    // One byte, or false when there is none (or on a read error: the next
    // poll reports it).
    bool readOne()
    {
        char byte = 0;
        if (read(mMaster, &byte, 1) != 1)
            return false;
        report(mDecoder.feed(&byte, 1));
        return true;
    }

    void flush() { report(mDecoder.flush()); }
    bool hasPending() const { return mDecoder.pending() != 0; }
    void printState() { mOutput.line(zentrel::formatState(mState)); }

private:
    void report(const std::vector<zentrel::Event> &events)
    {
        for (const zentrel::Event &event : events) {
            mState.apply(event);
            mOutput.line(zentrel::formatEvent(event));
        }
    }

    int mMaster;
    Output &mOutput;
    zentrel::Decoder mDecoder;
    zentrel::State mState;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Returns the exit status: 0 after SIGINT or SIGTERM, 1 on a line failure.
// At a baud rate each byte is taken from the line when its stop bit would
// have arrived, so what the sender writes faster waits in the terminal, as
// in front of a real player.
int run(int master, Simulator &simulator, int baud)
{
    const long long byteNs = baud > 0 ? 10000000000LL / baud : 0;
    long long byteDoneAt = 0; // the byte on the wire; 0 when the line is idle
    bool stalled = false;
    for (;;) {
        int timeout = simulator.hasPending() ? kIdleFlushMs : -1;
        pollfd fds[2] = {{master, POLLIN, 0}, {gSignalPipe[0], POLLIN, 0}};
        if (stalled || byteDoneAt != 0)
            fds[0].events = 0;
        if (byteDoneAt != 0)
            timeout = static_cast<int>(std::max(0LL, (byteDoneAt - monotonicNs() + 999999) / 1000000));
        const int ready = poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            failed("poll");
            return 1;
        }
        if (byteDoneAt != 0 && monotonicNs() >= byteDoneAt) {
            simulator.readOne();
            pollfd more{master, POLLIN, 0};
            byteDoneAt = poll(&more, 1, 0) > 0 && (more.revents & POLLIN) ? byteDoneAt + byteNs : 0;
        } else if (ready == 0 && byteDoneAt == 0) {
            simulator.flush();
            continue;
        }
        // The line first, so a state request or stop sees what came before it.
        if (fds[0].revents != 0) {
            bool gotBytes = false;
            if (byteNs > 0 && (fds[0].revents & POLLIN)) {
                byteDoneAt = monotonicNs() + byteNs;
                gotBytes = true;
            } else if (byteNs == 0 && !simulator.drain(gotBytes)) {
                return 1;
            }
            // Hung up with nothing to read would spin; it cannot happen while
            // we hold the slave, so treat it as a failure.
            if (!gotBytes && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                std::fputs("zentrel-sim: the pseudo-terminal hung up\n", stderr);
                return 1;
            }
        }
        if (fds[1].revents != 0) {
            bool stop = false;
            unsigned char signal = 0;
            while (read(gSignalPipe[0], &signal, 1) == 1) {
                if (signal == SIGUSR1) {
                    simulator.printState();
                } else if (signal == SIGUSR2) {
                    stalled = !stalled;
                    byteDoneAt = 0;
                    std::fputs(stalled ? "zentrel-sim: reading stopped\n" : "zentrel-sim: reading again\n",
                               stderr);
                } else {
                    stop = true;
                }
            }
            if (stop)
                return 0;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (const int status = parseArguments(argc, argv, options); status >= 0)
        return status;

    Output output;
    output.quiet = options.quiet;
    if (!options.log.empty()) {
        output.log = std::fopen(options.log.c_str(), "w");
        if (!output.log) {
            failed(options.log.c_str());
            return 2;
        }
    }

    Pty pty;
    if (!installSignals() || !openPty(pty))
        return 1;
    if (!options.link.empty() && !createLink(options.link, pty.path))
        return 2;

    // Scripts read this first line to find the device.
    std::printf("device: %s\n", pty.path.c_str());
    std::fflush(stdout);

    Simulator simulator(pty.master, output);
    int status = run(pty.master, simulator, options.baud);

    bool gotBytes = false;
    if (status == 0 && !simulator.drain(gotBytes))
        status = 1;
    simulator.flush();
    simulator.printState();
    if (!options.link.empty())
        removeLink(options.link, pty.path);
    if (output.log)
        std::fclose(output.log);
    close(pty.slave);
    close(pty.master);
    return status;
}
