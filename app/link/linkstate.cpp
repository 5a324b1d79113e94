// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "linkstate.h"

#include "command.h"

#include "commands.h"

namespace LinkState {

namespace {

const QString separator = QStringLiteral(" · ");

QString fromSource(const QString &source)
{
    return source.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(source);
}

} // namespace

Indicator indicator(bool open, bool stalled, const QString &port)
{
    if (!open)
        return { Link::NotConnected, QStringLiteral("Not connected: ") + port };
    if (stalled)
        return { Link::NotTakingData, QStringLiteral("Not taking data: ") + port };
    return { Link::Connected, QStringLiteral("Connected: ") + port };
}

QString whyNotOpen(SerialPort::Reason reason, const QString &systemMessage)
{
    switch (reason) {
    case SerialPort::Reason::NoDevice:
        return QStringLiteral("There is no such device. Check that the cable or USB adapter is "
                              "plugged in, or choose another port with File, Setup Connection...");
    case SerialPort::Reason::PermissionDenied:
        return QStringLiteral("Permission denied. On Linux, add your user to the \"dialout\" group "
                              "(sudo adduser $USER dialout) and log in again.");
    case SerialPort::Reason::Busy:
        return QStringLiteral("The port is in use by another program. Close that program, or "
                              "choose another port with File, Setup Connection...");
    case SerialPort::Reason::NotSerial:
        return QStringLiteral("This is not a serial device. Choose another port with "
                              "File, Setup Connection...");
    case SerialPort::Reason::Other:
        return QStringLiteral("The system reported: %1").arg(systemMessage);
    case SerialPort::Reason::None:
        break;
    }
    return {};
}

Watch watch(bool present, SerialPort::Reason lastFailure)
{
    if (!present)
        return Watch::Look;
    switch (lastFailure) {
    case SerialPort::Reason::None:
        return Watch::Open;
    // The node of an adapter just pulled can outlive its device for a
    // moment, and a UART node may have no UART behind it: opened again once
    // it has been gone and is back.
    case SerialPort::Reason::NoDevice:
        return Watch::Look;
    // Opening raises DTR and RTS on a line another program may be using.
    default:
        return Watch::WaitForOperator;
    }
}

QString describe(const Command &command, const std::function<QString(int)> &nameOf)
{
    switch (command.kind) {
    case Command::Kind::Show: {
        const QString show = QStringLiteral("Show %1").arg(command.value);
        const QString name = command.value >= 1 && command.value <= 128 ? nameOf(command.value - 1) : QString();
        return name.isEmpty() || name == show ? show : show + separator + name;
    }
    case Command::Kind::Brightness:
        return QStringLiteral("Brightness %1%").arg(Commands::levelPercent(command.value));
    case Command::Kind::Off:
        break;
    }
    return QStringLiteral("Off");
}

QString describe(const QByteArray &command, const QStringList &names)
{
    return describeAsking(command, [&names](int index) { return names.value(index); });
}

QString describeAsking(const QByteArray &command, const std::function<QString(int)> &nameOf)
{
    if (const std::optional<Command> read = Command::fromBytes(command))
        return describe(*read, nameOf);
    return QString::fromLatin1(command);
}

QString sentLine(const QString &description, QTime at, const QString &source)
{
    return QStringLiteral("Sent: ") + description + separator + at.toString(QStringLiteral("HH:mm:ss"))
        + fromSource(source);
}

QString waitingLine(const QString &description, const QString &source)
{
    return QStringLiteral("Waiting: ") + description + QStringLiteral(" …") + fromSource(source);
}

} // namespace LinkState
