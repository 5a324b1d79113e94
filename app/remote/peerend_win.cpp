// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "peerend.h"

#include <winsock2.h>
#include <mstcpip.h>

namespace PeerEnd {

// Qt's sockets are non-blocking, so a look at an empty socket returns at once.
Waiting peek(std::intptr_t descriptor)
{
    char byte = 0;
    const int n = ::recv(SOCKET(descriptor), &byte, 1, MSG_PEEK);
    if (n > 0)
        return Waiting::Data;
    if (n == 0)
        return Waiting::End;
    return WSAGetLastError() == WSAEWOULDBLOCK ? Waiting::Nothing : Waiting::Failed;
}

void keepAlive(std::intptr_t descriptor)
{
    // A minute of silence, then probes ten seconds apart.
    tcp_keepalive values { 1, 60 * 1000, 10 * 1000 };
    DWORD returned = 0;
    WSAIoctl(SOCKET(descriptor), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
}

} // namespace PeerEnd
