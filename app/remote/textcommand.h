// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "remotecommand.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The line protocol over TCP: one command a line, case-insensitive,
//   show N (1-128) | brightness P (percent, 0-100) | off | state
// and one reply line for each: "ok ..." or "error: ...".
namespace TextCommand {

struct Parsed
{
    bool ok = false;
    RemoteCommand command;
    QByteArray error; // the reply when !ok, without the line end
};

// One line without its line end (a trailing CR is dropped here).
Parsed parse(const QByteArray &line);

// What a command did, for the reply: "ok show 37", "ok brightness 49", "ok off".
QByteArray done(const RemoteCommand &command);
// A command in the protocol's words: "show 37", "brightness 49", "off", "state".
QByteArray named(const RemoteCommand &command);

// The reply to state: the player's state as Lumivane last sent it, the show
// (0 for off) and the brightness in percent, each unknown until first sent,
// and the link in the indicator's words. next: what the timetable does next,
// "show 12 2026-12-14T20:00:00", or empty.
QByteArray state(std::optional<int> show, std::optional<int> brightnessPercent, const QString &link,
                 const QByteArray &next = {});

QByteArray noPort(const QString &port, const QString &reason);
// A command the panel refused for a reason of its own: "error: " and why.
QByteArray refused(const QString &why);

} // namespace TextCommand
