// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <memory>

class QSocketNotifier;

// While this object lives, SIGTERM, SIGHUP and SIGINT (kill, a closed
// terminal, Ctrl-C) end the program through its event loop with status 0,
// so the window's destructor lets go of the port. Nothing is asked: nobody
// may be there to answer. Signals ignored at start (nohup) stay ignored.
// Where there are no such signals (Windows) it does nothing.
class EndOnSignals
{
public:
    EndOnSignals();
    ~EndOnSignals();
    EndOnSignals(const EndOnSignals &) = delete;
    EndOnSignals &operator=(const EndOnSignals &) = delete;

    // A signal came while a box of the start-up ran its own event loop.
    bool requested() const { return mRequested; }

private:
    std::unique_ptr<QSocketNotifier> mNotifier;
    bool mRequested = false;
};
