// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "decoder.h"

#include <utility>

namespace zentrel {

namespace {

// Upper-case hex only; -1 for anything else.
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int hexByte(char high, char low)
{
    const int h = hexDigit(high);
    const int l = hexDigit(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

Event malformed(std::string bytes)
{
    return Event{Event::Kind::Malformed, 0, std::move(bytes)};
}

Event decodeFrame(const std::string &frame)
{
    const int code = hexByte(frame[1], frame[2]);
    const int argument = hexByte(frame[3], frame[4]);
    if (code == 0x04 && argument >= 1 && argument <= 128)
        return Event{Event::Kind::Show, argument, {}};
    if (code == 0x02 && argument >= 1)
        return Event{Event::Kind::Brightness, argument, {}};
    if (code == 0x01 && argument == 0)
        return Event{Event::Kind::Off, 0, {}};
    return malformed(frame);
}

} // namespace

std::vector<Event> Decoder::feed(const char *data, std::size_t size)
{
    std::vector<Event> events;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == 'X') {
            if (!mHeld.empty())
                events.push_back(malformed(std::move(mHeld)));
            mHeld.assign(1, c);
            continue;
        }
        mHeld.push_back(c);
        if (mHeld[0] == 'X') {
            if (mHeld.size() == kCommandSize) {
                events.push_back(decodeFrame(mHeld));
                mHeld.clear();
            }
        } else if (mHeld.size() == kMaxGarbage) {
            events.push_back(malformed(std::move(mHeld)));
            mHeld.clear();
        }
    }
    return events;
}

std::vector<Event> Decoder::flush()
{
    std::vector<Event> events;
    if (!mHeld.empty())
        events.push_back(malformed(std::move(mHeld)));
    mHeld.clear();
    return events;
}

void State::apply(const Event &event)
{
    switch (event.kind) {
    case Event::Kind::Show:
        show = event.value;
        output = true;
        break;
    case Event::Kind::Brightness:
        brightness = event.value;
        output = true;
        break;
    case Event::Kind::Off:
        output = false;
        break;
    case Event::Kind::Malformed:
        break;
    }
}

int brightnessPercent(int level)
{
    // level * 100 is never 127.5 past a multiple of 255, so there is no tie to break.
    return (level * 100 + 127) / 255;
}

namespace {

std::string brightnessText(int level)
{
    return std::to_string(level) + " (" + std::to_string(brightnessPercent(level)) + "%)";
}

} // namespace

std::string formatEvent(const Event &event)
{
    switch (event.kind) {
    case Event::Kind::Show:
        return "show " + std::to_string(event.value);
    case Event::Kind::Brightness:
        return "brightness " + brightnessText(event.value);
    case Event::Kind::Off:
        return "off";
    case Event::Kind::Malformed:
        break;
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "warning: malformed";
    for (const char c : event.bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::string formatState(const State &state)
{
    return "state: show " + (state.show ? std::to_string(state.show) : std::string("none"))
        + ", brightness " + (state.brightness ? brightnessText(state.brightness) : std::string("unset"))
        + ", output " + (state.output ? "on" : "off");
}

} // namespace zentrel
