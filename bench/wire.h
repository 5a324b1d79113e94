// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The player's end of the line, read on a thread of its own so that an
// arrival is timed when the bytes are there, whatever the window is doing.

#include <QByteArray>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// Reads the master and notes when each command's five bytes were all there.
class WireWatch
{
public:
    using Clock = std::chrono::steady_clock;

    explicit WireWatch(int master)
        : mThread([this, master](std::stop_token stop) { read(master, stop); })
    {
    }

    // The next command to arrive and when, waiting up to `wait` for it.
    std::optional<std::pair<QByteArray, Clock::time_point>> next(Clock::duration wait = std::chrono::seconds(2))
    {
        std::unique_lock lock(mMutex);
        if (!mArrived.wait_for(lock, wait, [this] { return !mCommands.empty(); }))
            return std::nullopt;
        auto command = mCommands.front();
        mCommands.pop_front();
        return command;
    }

private:
    void read(int master, const std::stop_token &stop)
    {
        QByteArray pending;
        char buffer[64];
        while (!stop.stop_requested()) {
            pollfd pfd { master, POLLIN, 0 };
            if (poll(&pfd, 1, 10) <= 0)
                continue;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            const auto at = Clock::now();
            if (n <= 0)
                continue;
            pending.append(buffer, n);
            std::lock_guard lock(mMutex);
            for (; pending.size() >= 5; pending.remove(0, 5))
                mCommands.emplace_back(pending.first(5), at);
            mArrived.notify_one();
        }
    }

    std::mutex mMutex;
    std::condition_variable mArrived;
    std::deque<std::pair<QByteArray, Clock::time_point>> mCommands;
    std::jthread mThread; // last: stopped and joined before the rest goes
};
