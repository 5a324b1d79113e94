// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "textcommand.h"

#include <QList>

#include <cmath>

namespace {

// A whole number in decimal, nothing else: no sign, no blanks inside.
bool wholeNumber(const QByteArray &word, int &value)
{
    if (word.isEmpty() || word.size() > 9)
        return false;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
    }
    value = word.toInt();
    return true;
}

TextCommand::Parsed failure(const QByteArray &why)
{
    return { false, {}, QByteArrayLiteral("error: ") + why };
}

} // namespace

namespace TextCommand {

Parsed parse(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().toLower().split(' ');
    const QByteArray &verb = words.first();
    if (verb == "off" || verb == "state") {
        if (words.size() != 1)
            return failure(verb + " takes no argument");
        return { true, { verb == "off" ? RemoteCommand::Kind::Off : RemoteCommand::Kind::State, 0 }, {} };
    }
    if (verb == "show" || verb == "brightness") {
        const bool show = verb == "show";
        const QByteArray range = show ? QByteArrayLiteral("show takes a number from 1 to 128")
                                      : QByteArrayLiteral("brightness takes a percentage from 0 to 100");
        int value = -1;
        if (words.size() != 2 || !wholeNumber(words.at(1), value))
            return failure(range);
        if (show ? value < 1 || value > 128 : value > 100)
            return failure(range);
        return { true, { show ? RemoteCommand::Kind::Show : RemoteCommand::Kind::Brightness, double(value) }, {} };
    }
    if (verb.isEmpty())
        return failure("empty line");
    return failure("unknown command (show N, brightness P, off, state)");
}

QByteArray done(const RemoteCommand &command)
{
    return command.kind == RemoteCommand::Kind::State ? QByteArray("ok") : "ok " + named(command);
}

QByteArray named(const RemoteCommand &command)
{
    switch (command.kind) {
    case RemoteCommand::Kind::Show:
        return "show " + QByteArray::number(int(command.value));
    case RemoteCommand::Kind::Brightness:
        return "brightness " + QByteArray::number(int(std::lround(command.value)));
    case RemoteCommand::Kind::Off:
        return "off";
    case RemoteCommand::Kind::State:
        break;
    }
    return "state";
}

QByteArray state(std::optional<int> show, std::optional<int> brightnessPercent, const QString &link,
                 const QByteArray &next)
{
    QByteArray reply = "ok";
    if (show)
        reply += *show == 0 ? QByteArray(" off") : " show " + QByteArray::number(*show);
    if (brightnessPercent)
        reply += " brightness " + QByteArray::number(*brightnessPercent);
    if (!show && !brightnessPercent)
        reply += " nothing sent yet";
    // Before the link, whose words run to the end of the line.
    if (!next.isEmpty())
        reply += " next " + next;
    return reply + " link " + link.toUtf8();
}

QByteArray noPort(const QString &port, const QString &reason)
{
    QByteArray reply = "error: serial port " + port.toUtf8() + " is not open";
    if (!reason.isEmpty())
        reply += ": " + reason.toUtf8();
    return reply;
}

QByteArray refused(const QString &why)
{
    return "error: " + why.toUtf8();
}

} // namespace TextCommand
