// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The master side of a pseudo-terminal; the program opens the slave by path.
struct Pty
{
    int master = -1;
    QByteArray slavePath;

    Pty()
    {
        int slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        ::close(slave);
        slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    void closeMaster()
    {
        if (master != -1)
            ::close(master);
        master = -1;
    }

    // What has arrived, waiting until nothing more comes for quietMs. The
    // event loop runs meanwhile: the program's line writer sends from it.
    QByteArray read(int quietMs = 50)
    {
        QByteArray bytes;
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < quietMs) {
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            pollfd pfd { master, POLLIN, 0 };
            if (poll(&pfd, 1, 1) <= 0 || !(pfd.revents & POLLIN))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                return bytes;
            bytes.append(buffer, n);
            quiet.restart();
        }
        return bytes;
    }

    // What the master holds now and brings within quietMs, without running
    // the event loop, so nothing more can be written meanwhile.
    QByteArray readNow(int quietMs = 5)
    {
        QByteArray bytes;
        for (;;) {
            pollfd pfd { master, POLLIN, 0 };
            if (poll(&pfd, 1, quietMs) <= 0 || !(pfd.revents & POLLIN))
                return bytes;
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                return bytes;
            bytes.append(buffer, n);
        }
    }

    // Whether the slave is in exclusive mode, which stays on the terminal while
    // the master is open, whoever closed the slave. Root's opens ignore it, so
    // the flag itself is read; any other user is simply refused.
    bool slaveExclusive() const
    {
        const int fd = ::open(slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno == EBUSY;
        int exclusive = 0;
        ioctl(fd, TIOCGEXCL, &exclusive);
        ::close(fd);
        return exclusive != 0;
    }

    termios lineSettings() const
    {
        termios tio {};
        tcgetattr(master, &tio);
        return tio;
    }
};

// Writes bytes outside any command into a terminal (a descriptor opened on
// the slave, non-blocking) until it takes no more, as a far end that stopped
// reading leaves it. The kernel moves what was written on to the reading
// side's buffer a little later, which frees room again: full means it took
// nothing over a few rounds apart.
inline void fillTerminal(int fd)
{
    const QByteArray block(4096, '.');
    for (int emptyRounds = 0; emptyRounds < 3;) {
        bool took = false;
        while (::write(fd, block.constData(), std::size_t(block.size())) > 0)
            took = true;
        while (::write(fd, ".", 1) == 1)
            took = true;
        emptyRounds = took ? 0 : emptyRounds + 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The far end of a real line: takes one byte per byte time (ten bits at the
// baud rate) from a master, so a backlog builds up in the terminal as in
// front of a real player, and notes when the last byte of each command would
// have arrived. A command is an 'X' and the four bytes after it; one cut short
// by the next 'X' is kept as it came, so a broken frame shows.
class LineRateReader
{
public:
    using Clock = std::chrono::steady_clock;
    struct Command
    {
        QByteArray bytes;
        Clock::time_point at;
    };

    explicit LineRateReader(int master, int baud = 9600)
        : mMaster(master), mByteTime(std::chrono::nanoseconds(10'000'000'000LL / baud))
    {
        mThread = std::thread([this] { run(); });
    }
    ~LineRateReader()
    {
        mStop = true;
        mThread.join();
    }
    LineRateReader(const LineRateReader &) = delete;
    LineRateReader &operator=(const LineRateReader &) = delete;

    // Stalled: reads nothing, as a wedged adapter. Fast: reads as fast as the
    // terminal gives, to drain a backlog that is not being measured.
    // Stalling returns once the reader has stopped, so that a byte it was
    // about to take cannot free room after the caller filled the terminal.
    void setStalled(bool stalled)
    {
        mStalled = stalled;
        while (stalled && !mParked)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void setFast(bool fast) { mFast = fast; }

    QList<Command> commands() const
    {
        std::lock_guard lock(mMutex);
        return mCommands;
    }
    // Waits until nothing has arrived for quietMs; false after timeoutMs.
    bool waitQuiet(int quietMs, int timeoutMs) const
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            if (Clock::now() - lastByte() > std::chrono::milliseconds(quietMs))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

private:
    Clock::time_point lastByte() const
    {
        std::lock_guard lock(mMutex);
        return mLastByte;
    }

    void run()
    {
        bool backlog = false;
        Clock::time_point lineFree {};
        while (!mStop) {
            if (mStalled) {
                mParked = true;
                backlog = false;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            mParked = false;
            Clock::time_point start = lineFree;
            if (!backlog || mFast) {
                pollfd pfd { mMaster, POLLIN, 0 };
                if (poll(&pfd, 1, 5) <= 0 || !(pfd.revents & POLLIN)) {
                    // A master with no slave open polls as hung up at once.
                    if (pfd.revents & POLLHUP)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                start = Clock::now();
            }
            const Clock::time_point done = mFast ? start : start + mByteTime;
            std::this_thread::sleep_until(done);
            char byte = 0;
            if (::read(mMaster, &byte, 1) != 1) {
                backlog = false;
                continue;
            }
            lineFree = done;
            take(byte, done);
            pollfd pfd { mMaster, POLLIN, 0 };
            backlog = poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
        }
    }

    void take(char byte, Clock::time_point at)
    {
        std::lock_guard lock(mMutex);
        mLastByte = at;
        if (byte == 'X' && !mFrame.isEmpty()) {
            mCommands.append({ mFrame, at });
            mFrame.clear();
        }
        if (byte == 'X' || !mFrame.isEmpty())
            mFrame.append(byte);
        if (mFrame.size() == 5) {
            mCommands.append({ mFrame, at });
            mFrame.clear();
        }
    }

    const int mMaster;
    const std::chrono::nanoseconds mByteTime;
    std::atomic<bool> mStop { false };
    std::atomic<bool> mStalled { false };
    std::atomic<bool> mParked { false };
    std::atomic<bool> mFast { false };
    mutable std::mutex mMutex;
    QList<Command> mCommands;
    QByteArray mFrame;
    Clock::time_point mLastByte {};
    std::thread mThread;
};
