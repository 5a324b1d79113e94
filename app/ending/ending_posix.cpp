// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ending.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int endingSignals[] = { SIGTERM, SIGHUP, SIGINT };

// The handler may only do what is async-signal-safe: it writes one byte,
// and the event loop, woken by it, does the rest.
int signalPipe[2] = { -1, -1 };

void onEndingSignal(int)
{
    const int savedErrno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

EndOnSignals::EndOnSignals()
{
    // Without the pair the signals keep their default action.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    mNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(mNotifier.get(), &QSocketNotifier::activated, mNotifier.get(), [this] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        mRequested = true;
        // Ends the main loop and any box's loop inside it, without the
        // window's close event and so without its question.
        QCoreApplication::exit(0);
    });

    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : endingSignals) {
        struct sigaction previous {};
        if (::sigaction(sig, &action, &previous) == 0 && previous.sa_handler == SIG_IGN)
            ::sigaction(sig, &previous, nullptr);
    }
}

EndOnSignals::~EndOnSignals()
{
    if (!mNotifier)
        return;
    for (const int sig : endingSignals) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == onEndingSignal)
            ::signal(sig, SIG_DFL);
    }
    mNotifier.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}
