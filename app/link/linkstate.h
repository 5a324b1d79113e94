// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "serialport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>

// What the status bar says about the line and the last command, and what to
// do about a port that is not open: pure functions of the port's state. The
// controller only shows the result.
struct Command;

namespace LinkState {

enum class Link { Connected, NotTakingData, NotConnected };

struct Indicator
{
    Link link = Link::NotConnected;
    QString text; // "Connected: COM1"
};

// open: the port is open; stalled: the line has taken nothing for longer
// than the write deadline. port: the name as Setup shows it.
Indicator indicator(bool open, bool stalled, const QString &port);

// Why a port is not open, in the words of the box that says it could not be
// opened; systemMessage is the system's text for a failure of no known kind.
QString whyNotOpen(SerialPort::Reason reason, const QString &systemMessage);

enum class Watch {
    Open,           // try to open it now
    Look,           // look again in a second, without opening anything
    WaitForOperator // there but refused: only the operator's next action tries it
};

// What the watch does about the stored port while it is not open. present:
// its device is there now. lastFailure: why the last try to open it failed;
// None when it has not been tried since it was lost or last found missing.
Watch watch(bool present, SerialPort::Reason lastFailure);

// "Show 37 · Act 1, scene 5" (the name left out while it is the default),
// "Brightness 49%", "Off". names: the 128 show names.
QString describe(const Command &command, const std::function<QString(int)> &nameOf);
// The same for the bytes of a command, as the journal holds them; bytes
// that are none are shown as they are.
QString describe(const QByteArray &command, const QStringList &names);
QString describeAsking(const QByteArray &command, const std::function<QString(int)> &nameOf);

inline constexpr char nothingSent[] = "Nothing sent yet";

// "Sent: Off · 20:15:05"; source: who chose it when the operator did not,
// "remote 192.0.2.7" or "timetable", shown after it in brackets.
QString sentLine(const QString &description, QTime at, const QString &source);
// "Waiting: Show 37 …"
QString waitingLine(const QString &description, const QString &source);

} // namespace LinkState
