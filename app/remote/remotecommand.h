// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// One command from a remote peer, as both protocols decode it.
struct RemoteCommand
{
    enum class Kind { Show, Brightness, Off, State };

    Kind kind = Kind::Off;
    // Show: the show number, 1 to 128. Brightness: percent of full, 0 to 100
    // (a fraction of full from OSC keeps its decimals).
    double value = 0;

    bool operator==(const RemoteCommand &) const = default;
};
