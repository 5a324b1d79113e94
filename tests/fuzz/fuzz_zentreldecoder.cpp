// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the player's decoder in arbitrary chunks.
#include "decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The bytes an event stands for, so that the events can be laid end to end
// and compared with what went in.
std::string bytesOf(const zentrel::Event &event)
{
    char text[6];
    switch (event.kind) {
    case zentrel::Event::Kind::Show:
        std::snprintf(text, sizeof text, "X04%02X", event.value);
        return text;
    case zentrel::Event::Kind::Brightness:
        std::snprintf(text, sizeof text, "X02%02X", event.value);
        return text;
    case zentrel::Event::Kind::Off:
        return "X0100";
    case zentrel::Event::Kind::Malformed:
        break;
    }
    return event.bytes;
}

std::vector<zentrel::Event> decodeInChunks(const char *data, std::size_t size,
                                           const std::uint8_t *cuts, std::size_t cutCount)
{
    zentrel::Decoder decoder;
    std::vector<zentrel::Event> events;
    std::size_t at = 0;
    std::size_t cut = 0;
    while (at < size) {
        // A zero-length chunk is legal and must change nothing.
        std::size_t length = cutCount ? cuts[cut++ % cutCount] % 8 : size;
        if (length > size - at)
            length = size - at;
        for (auto &event : decoder.feed(data + at, length))
            events.push_back(std::move(event));
        if (decoder.pending() >= zentrel::Decoder::kMaxGarbage)
            fail("pending bytes unbounded");
        at += length;
        if (cutCount && cut > size + cutCount)
            cutCount = 0; // all zero cuts: finish in one go
    }
    for (auto &event : decoder.flush())
        events.push_back(std::move(event));
    if (decoder.pending() != 0)
        fail("bytes held after flush");
    return events;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte says how many of the following bytes choose chunk sizes.
    if (size == 0)
        return 0;
    const std::size_t cutCount = std::min<std::size_t>(data[0] % 16, size - 1);
    const std::uint8_t *cuts = data + 1;
    const char *stream = reinterpret_cast<const char *>(data + 1 + cutCount);
    const std::size_t streamSize = size - 1 - cutCount;

    const auto whole = decodeInChunks(stream, streamSize, nullptr, 0);
    const auto chunked = decodeInChunks(stream, streamSize, cuts, cutCount);
    if (whole != chunked)
        fail("events depend on how the stream was cut");

    std::string rebuilt;
    zentrel::State state;
    for (const auto &event : whole) {
        if (event.kind == zentrel::Event::Kind::Malformed) {
            if (event.bytes.empty())
                fail("an empty malformed event");
            if (event.bytes.size() > zentrel::Decoder::kMaxGarbage)
                fail("a malformed event longer than the garbage bound");
        } else if (event.value < 0 || event.value > 255) {
            fail("a value out of range");
        }
        rebuilt += bytesOf(event);
        state.apply(event);
        (void)zentrel::formatEvent(event);
    }
    (void)zentrel::formatState(state);
    if (rebuilt != std::string(stream, streamSize))
        fail("bytes lost, added or reordered");
    return 0;
}
