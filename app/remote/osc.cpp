// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "osc.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <optional>

namespace {

// Deeper nesting than any sender needs; the bound keeps the recursion, and a
// crafted packet, small.
constexpr int maxBundleDepth = 8;

struct Argument
{
    char type = 0;
    qint32 i = 0;
    float f = 0;
};

// A reader over one OSC element; every step checks the bounds, so a
// truncated or lying packet ends as malformed, never as a read past it.
class Reader
{
public:
    Reader(const char *data, qsizetype size)
        : mData(data)
        , mSize(size)
    {
    }

    bool atEnd() const { return mAt == mSize; }

    // An OSC string: its bytes, at least one NUL, padded with NULs to a
    // multiple of four.
    std::optional<QByteArray> string()
    {
        const void *nul = std::memchr(mData + mAt, 0, std::size_t(mSize - mAt));
        if (!nul)
            return std::nullopt;
        const qsizetype length = static_cast<const char *>(nul) - (mData + mAt);
        const qsizetype padded = (length + 4) & ~qsizetype(3);
        if (padded > mSize - mAt)
            return std::nullopt;
        for (qsizetype k = length; k < padded; ++k) {
            if (mData[mAt + k] != 0)
                return std::nullopt;
        }
        QByteArray text(mData + mAt, length);
        mAt += padded;
        return text;
    }

    std::optional<quint32> word()
    {
        if (mSize - mAt < 4)
            return std::nullopt;
        const quint32 value = qFromBigEndian<quint32>(mData + mAt);
        mAt += 4;
        return value;
    }

    bool skip(qsizetype count)
    {
        if (count < 0 || count > mSize - mAt)
            return false;
        mAt += count;
        return true;
    }

    const char *here() const { return mData + mAt; }

private:
    const char *mData;
    qsizetype mSize;
    qsizetype mAt = 0;
};

// A number argument as a whole number, or nothing when it is not one.
std::optional<int> wholeNumber(const Argument &a)
{
    if (a.type == 'i')
        return a.i;
    if (a.type == 'f' && std::isfinite(a.f) && a.f == std::trunc(a.f) && std::fabs(a.f) < 1e6f)
        return int(a.f);
    return std::nullopt;
}

enum class Trigger { Press, Release, Wrong };

// A button's argument: none or true presses; 0 or F is its release.
Trigger trigger(const QList<Argument> &args)
{
    if (args.isEmpty())
        return Trigger::Press;
    if (args.size() != 1)
        return Trigger::Wrong;
    const Argument &a = args.first();
    switch (a.type) {
    case 'T':
        return Trigger::Press;
    case 'F':
        return Trigger::Release;
    case 'i':
        return a.i ? Trigger::Press : Trigger::Release;
    case 'f':
        if (std::isnan(a.f))
            return Trigger::Wrong;
        return a.f != 0 ? Trigger::Press : Trigger::Release;
    default:
        return Trigger::Wrong;
    }
}

bool validShow(std::optional<int> n)
{
    return n && *n >= 1 && *n <= 128;
}

// An address as a refusal names it: a long one is cut short.
QByteArray shown(const QByteArray &address)
{
    return address.size() > 64 ? address.left(64) + "..." : address;
}

// The address and its type tags, "/lumivane/show s", for a refusal of the
// arguments.
QByteArray withTags(const QByteArray &address, const QList<Argument> &args)
{
    QByteArray tags;
    for (const Argument &a : args)
        tags += a.type;
    return shown(address) + (tags.isEmpty() ? QByteArray() : " " + tags);
}

QByteArray number(const Argument &a)
{
    return a.type == 'i' ? QByteArray::number(a.i) : QByteArray::number(double(a.f));
}

void interpret(const QByteArray &address, const QList<Argument> &args, Osc::Decoded &out)
{
    static const QByteArray showPrefix = QByteArrayLiteral("/lumivane/show/");
    static const QByteArray notShow = QByteArrayLiteral(": a show is 1 to 128");
    const auto refuse = [&](const QByteArray &why) { out.refused.append(why); };
    const auto press = [&](RemoteCommand command) {
        switch (trigger(args)) {
        case Trigger::Press:
            out.commands.append(command);
            break;
        case Trigger::Release:
            ++out.released;
            break;
        case Trigger::Wrong:
            refuse(withTags(address, args) + ": takes nothing, or one of i, f, T or F");
            break;
        }
    };
    const bool oneNumber = args.size() == 1 && (args.first().type == 'i' || args.first().type == 'f');

    if (address == "/lumivane/show") {
        const std::optional<int> n = oneNumber ? wholeNumber(args.first()) : std::nullopt;
        if (validShow(n))
            out.commands.append({ RemoteCommand::Kind::Show, double(*n) });
        else if (oneNumber)
            refuse("show " + number(args.first()) + notShow);
        else
            refuse(withTags(address, args) + ": takes one number, i or f");
    } else if (address.startsWith(showPrefix)) {
        const QByteArray digits = address.mid(showPrefix.size());
        bool ok = digits.size() <= 3 && !digits.isEmpty();
        for (char c : digits)
            ok = ok && c >= '0' && c <= '9';
        const int n = ok ? digits.toInt() : 0;
        if (validShow(n))
            press({ RemoteCommand::Kind::Show, double(n) });
        else if (ok)
            refuse("show " + digits + notShow);
        else
            refuse(shown(address) + ": unknown address");
    } else if (address == "/lumivane/brightness") {
        const Argument a = oneNumber ? args.first() : Argument {};
        if (a.type == 'f' && a.f >= 0.0f && a.f <= 1.0f)
            out.commands.append({ RemoteCommand::Kind::Brightness, double(a.f) * 100.0 });
        else if (a.type == 'i' && a.i >= 0 && a.i <= 100)
            out.commands.append({ RemoteCommand::Kind::Brightness, double(a.i) });
        else if (a.type == 'f')
            refuse("brightness " + number(a) + ": a float is a fraction of full, 0.0 to 1.0");
        else if (a.type == 'i')
            refuse("brightness " + number(a) + ": an integer is a percentage, 0 to 100");
        else
            refuse(withTags(address, args) + ": takes one number, f (0.0 to 1.0) or i (0 to 100)");
    } else if (address == "/lumivane/off") {
        press({ RemoteCommand::Kind::Off, 0 });
    } else if (address == "/lumivane/state") {
        if (args.isEmpty())
            out.commands.append({ RemoteCommand::Kind::State, 0 });
        else
            refuse(withTags(address, args) + ": takes no argument");
    } else {
        refuse(shown(address) + ": unknown address");
    }
}

bool decodeMessage(const char *data, qsizetype size, Osc::Decoded &out)
{
    Reader reader(data, size);
    const std::optional<QByteArray> address = reader.string();
    if (!address || !address->startsWith('/'))
        return false;
    // Senders from before OSC 1.0 may leave out the type tags; then there
    // are no arguments.
    QByteArray tags = QByteArrayLiteral(",");
    if (!reader.atEnd()) {
        const std::optional<QByteArray> read = reader.string();
        if (!read || !read->startsWith(','))
            return false;
        tags = *read;
    }
    QList<Argument> args;
    for (qsizetype k = 1; k < tags.size(); ++k) {
        Argument a;
        a.type = tags.at(k);
        switch (a.type) {
        case 'i':
        case 'f': {
            const std::optional<quint32> w = reader.word();
            if (!w)
                return false;
            a.i = qint32(*w);
            std::memcpy(&a.f, &*w, sizeof a.f);
            break;
        }
        case 's':
        case 'S':
            if (!reader.string())
                return false;
            break;
        case 'b': {
            const std::optional<quint32> length = reader.word();
            if (!length || *length > quint32(size) || !reader.skip((qsizetype(*length) + 3) & ~qsizetype(3)))
                return false;
            break;
        }
        case 'h':
        case 'd':
        case 't':
            if (!reader.skip(8))
                return false;
            break;
        case 'c':
        case 'r':
        case 'm':
            if (!reader.skip(4))
                return false;
            break;
        case 'T':
        case 'F':
        case 'N':
        case 'I':
            break;
        default:
            return false; // an unknown type has an unknown size
        }
        args.append(a);
    }
    if (!reader.atEnd())
        return false;
    interpret(*address, args, out);
    return true;
}

bool decodeElement(const char *data, qsizetype size, int depth, Osc::Decoded &out)
{
    static constexpr char bundleTag[8] = { '#', 'b', 'u', 'n', 'd', 'l', 'e', 0 };
    if (size < 4 || size % 4 != 0)
        return false;
    if (size < 8 || std::memcmp(data, bundleTag, 8) != 0)
        return decodeMessage(data, size, out);

    if (depth >= maxBundleDepth)
        return false;
    Reader reader(data, size);
    if (!reader.skip(16)) // the tag and the time tag
        return false;
    while (!reader.atEnd()) {
        const std::optional<quint32> length = reader.word();
        if (!length || *length > quint32(size))
            return false;
        const char *element = reader.here();
        if (!reader.skip(qsizetype(*length)))
            return false;
        if (!decodeElement(element, qsizetype(*length), depth + 1, out))
            return false;
    }
    return true;
}

} // namespace

namespace Osc {

Decoded decode(const QByteArray &packet)
{
    Decoded out;
    if (!decodeElement(packet.constData(), packet.size(), 0, out))
        return Decoded { {}, { QByteArrayLiteral("malformed OSC packet") }, 0 };
    return out;
}

QByteArray message(const QByteArray &address, const QByteArray &text)
{
    const auto padded = [](QByteArray s) {
        s.append('\0');
        while (s.size() % 4)
            s.append('\0');
        return s;
    };
    return padded(address) + padded(",s") + padded(text);
}

} // namespace Osc
