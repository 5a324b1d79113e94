// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "peerend.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

namespace PeerEnd {

Waiting peek(std::intptr_t descriptor)
{
    char byte = 0;
    const ssize_t n = ::recv(int(descriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
        return Waiting::Data;
    if (n == 0)
        return Waiting::End;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Waiting::Nothing : Waiting::Failed;
}

void keepAlive(std::intptr_t descriptor)
{
    // A minute of silence, then three probes ten seconds apart.
    const int on = 1, idle = 60, interval = 10, count = 3;
    ::setsockopt(int(descriptor), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

} // namespace PeerEnd
