// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary datagrams to the OSC decoder.
#include "remote/osc.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray packet(reinterpret_cast<const char *>(data), qsizetype(size));
    const Osc::Decoded decoded = Osc::decode(packet);
    // Each command takes at least a 16-byte message, so a datagram cannot
    // make more of them than it has bytes for.
    if (qsizetype(decoded.commands.size()) > packet.size() / 16 + 1) {
        std::fprintf(stderr, "more commands than the packet holds\n");
        std::abort();
    }
    for (const RemoteCommand &command : decoded.commands) {
        const bool inRange = command.kind == RemoteCommand::Kind::Show
            ? command.value >= 1 && command.value <= 128 && command.value == int(command.value)
            : command.kind == RemoteCommand::Kind::State ? command.value == 0
                                                          : command.value >= 0 && command.value <= 100;
        if (!inRange) {
            std::fprintf(stderr, "a command out of range\n");
            std::abort();
        }
    }
    if (decoded.commands.isEmpty() && decoded.refused.isEmpty() && decoded.released == 0 && packet.size() < 16) {
        std::fprintf(stderr, "a packet passed unnoticed\n");
        std::abort();
    }
    return 0;
}
