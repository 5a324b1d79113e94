// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QStatusBar>

void LumivaneMainWindow::doSetup()
{
    // Only a path can be looked for; a Windows COM name that the system
    // does not report is not connected.
    const auto exists = [](const QString &path) { return QFileInfo(path).isAbsolute() && QFileInfo::exists(path); };
    // Asked afresh each time, so an adapter plugged in a moment ago is there.
    const PortList::Offer offer = PortList::offer(PortList::thisPlatform(), findPorts(), mPortName,
                                                  exists(mPortName), mOtherPort, exists(mOtherPort));
    // Said before the box opens, where the operator can read it beside the
    // list: adapters missing from it are then no mystery.
    if (const QString error = PortList::scanError(); !error.isEmpty())
        statusBar()->showMessage(QStringLiteral("The serial ports present cannot be listed: ") + error, statusMessageMs);
    QStringList labels;
    for (const PortList::Item &item : offer.items)
        labels << item.label;

    bool accepted = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Lumivane"),
                                                 QStringLiteral("Select the Zentrel serial port"),
                                                 labels, offer.current, false, &accepted);
    if (!accepted)
        return;

    QString stored = offer.items.at(labels.indexOf(chosen)).stored;
    if (stored.isEmpty()) {
        // Offered as the path last typed, or else the stored port's path.
        const QString start = !mOtherPort.isEmpty() ? mOtherPort
            : QFileInfo(mPortName).isAbsolute()      ? mPortName
                                                     : QString();
        stored = QInputDialog::getText(this, QStringLiteral("Lumivane"),
                                       QStringLiteral("Device path of the Zentrel serial port"),
                                       QLineEdit::Normal, start, &accepted)
                     .trimmed();
        if (!accepted || stored.isEmpty())
            return;
        mOtherPort = stored;
        storeOtherPort();
    }

    // Stored before it is opened, so the choice stands even if it fails now.
    const bool same = stored == mPortName;
    mPortName = stored;
    storePortName();
    // Reopening would drop the commands waiting on a stalled line.
    if (!same || !mPort)
        openSerialPort(mPortName);
}

QString LumivaneMainWindow::portLabel() const
{
    // Named as stored: the list of ports is not asked for, since where the
    // system has no device database, asking opens each UART node.
    if (PortList::fixedNames().contains(mPortName))
        return mPortName;
    // Setup lists a path that names nothing now, or a pseudo-terminal, under
    // its own name, whatever the system reports: asking it would only cost
    // the start a scan of every terminal device.
    const QFileInfo path(mPortName);
    if (path.isAbsolute()) {
        const QString device = path.canonicalFilePath();
        if (device.isEmpty() || device.startsWith(QLatin1String("/dev/pts/")))
            return PortList::label(PortList::thisPlatform(), {}, mPortName);
    }
    return PortList::label(PortList::thisPlatform(), findPorts(), mPortName);
}
