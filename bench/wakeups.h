// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <fstream>
#include <string>

// The main thread's voluntary context switches: each is the event loop
// going to sleep, so each after the first is one wake-up.
inline long voluntarySwitches()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}
