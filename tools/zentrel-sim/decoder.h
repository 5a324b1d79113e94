// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Decodes the byte stream a show player receives, with no I/O, so the
// simulator and the tests share it.
//
// A command is exactly five bytes: 'X', a two-digit code and a two-digit
// argument, both in upper-case hex ("X0425", "X02FF", "X0100"). Rules:
// - Only codes 01 (off, argument 00), 02 (brightness 01..FF) and
//   04 (show 01..80) are commands; every other five-byte frame is malformed.
// - Lower-case hex is malformed: the sender always writes upper case, so lower
//   case means something else is on the line.
// - An 'X' always starts a new command, because no valid command contains an
//   'X' after its first byte. A partial command cut off by an 'X' is reported
//   as malformed and decoding restarts at that 'X'.
// - Bytes outside a command are collected and reported as one malformed event
//   when the next 'X' arrives, or every kMaxGarbage bytes so that endless noise
//   cannot grow memory.
// - Bytes that arrive after a malformed five-byte frame are outside a command.
// - A partial command or garbage at the end of a chunk stays pending, since the
//   next chunk may complete it; flush() reports it as malformed.
namespace zentrel {

struct Event
{
    enum class Kind { Show, Brightness, Off, Malformed };

    Kind kind = Kind::Malformed;
    int value = 0;     // show number 1..128 or brightness 1..255
    std::string bytes; // the offending bytes of a Malformed event

    bool operator==(const Event &) const = default;
};

class Decoder
{
public:
    static constexpr std::size_t kCommandSize = 5;
    static constexpr std::size_t kMaxGarbage = 16;

    std::vector<Event> feed(const char *data, std::size_t size);
    std::vector<Event> flush();

    // Bytes held back for the next chunk; always fewer than kMaxGarbage.
    std::size_t pending() const { return mHeld.size(); }

private:
    // A command in progress (starts with 'X', shorter than five bytes) or
    // garbage (never starts with 'X', shorter than kMaxGarbage).
    std::string mHeld;
};

// What the player is doing. An off command switches the output off but keeps
// the show and brightness; a show start or a brightness command switches it on
// again. Malformed input changes nothing. Before any command nothing is known:
// show 0 and brightness 0 stand for "none" and "unset", and the output is off.
struct State
{
    int show = 0;
    int brightness = 0;
    bool output = false;

    void apply(const Event &event);
};

// round(level * 100 / 255)
int brightnessPercent(int level);

// The log line for an event or the state, without a timestamp:
// "show 37", "brightness 126 (49%)", "off", "warning: malformed 58 30 34",
// "state: show 37, brightness 126 (49%), output on".
std::string formatEvent(const Event &event);
std::string formatState(const State &state);

} // namespace zentrel
