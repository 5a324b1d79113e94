// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>

// What waits on a connected TCP socket, looked at without taking it. Qt's
// socket closes itself the moment it reads the peer's end, so a reply owed
// to a line that came just before the end could no longer be written; a
// look first lets the last lines be answered while the socket still sends.
namespace PeerEnd {

enum class Waiting { Data, End, Nothing, Failed };

Waiting peek(std::intptr_t descriptor);

// Probes a silent peer often enough that a crashed one frees its connection
// in minutes rather than the system's two hours.
void keepAlive(std::intptr_t descriptor);

} // namespace PeerEnd
