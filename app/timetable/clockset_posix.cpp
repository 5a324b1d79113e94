// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "clockset.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <sys/timerfd.h>
#include <unistd.h>

ClockSetNotice::ClockSetNotice(QObject *parent)
    : QObject(parent)
{
    const int fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0)
        return;
    mHandle = fd;
    if (!arm()) {
        ::close(fd);
        mHandle = -1;
        return;
    }
    mNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, [this] {
        std::uint64_t expirations = 0;
        const ssize_t got = ::read(int(mHandle), &expirations, sizeof expirations);
        // ECANCELED: the clock was set. The cancel stays until the timer is
        // set again, so it is set again before anyone reads the clock.
        const bool set = got < 0 && errno == ECANCELED;
        arm();
        if (set)
            emit clockSet();
    });
}

ClockSetNotice::~ClockSetNotice()
{
    delete mNotifier;
    if (mHandle != -1)
        ::close(int(mHandle));
}

// The timer itself never runs out: it is there to be cancelled. The kernel
// cancels only an absolute CLOCK_REALTIME timer with TFD_TIMER_CANCEL_ON_SET.
bool ClockSetNotice::arm()
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    itimerspec deadline {};
    deadline.it_value.tv_sec = now.tv_sec + 10 * 366 * 86400;
    return ::timerfd_settime(int(mHandle), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &deadline, nullptr) == 0;
}
