// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

using PortList::Found;

namespace {

QList<Found> findPorts()
{
    // udev's stable names, by the device each one stands for.
    QHash<QString, QString> byId;
    const QDir byIdDir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byIdDir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !byId.contains(target))
            byId.insert(target, link.absoluteFilePath());
    }

    QList<Found> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        Found port;
        port.systemLocation = info.systemLocation();
        port.portName = info.portName();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.stableName = byId.value(port.systemLocation);
        // Linux makes nodes for more UARTs than a machine has; the kernel's
        // port type 0 means nothing is behind one. Read, not opened: opening
        // a real UART raises its modem lines.
        if (port.portName.startsWith(QLatin1String("ttyS"))) {
            QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(port.portName));
            const QByteArray value = type.open(QIODevice::ReadOnly) ? type.readAll().trimmed() : QByteArray();
            port.hardware = !value.isEmpty() && value != "0";
        }
        ports.append(port);
    }
    return ports;
}

} // namespace

// What the program looks up once it loads this module.
extern "C" Q_DECL_EXPORT void lumivaneFindPorts(QList<Found> *ports)
{
    *ports = findPorts();
}
