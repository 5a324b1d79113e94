// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "panel/panel.h"

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
    const QString portName = mPanel->portName();
    const PortList::Offer offer = PortList::offer(PortList::thisPlatform(), mPanel->findPorts(), portName,
                                                  exists(portName), mOtherPort, exists(mOtherPort));
    // Said before the box opens, where the operator can read it beside the
    // list: adapters missing from it are then no mystery.
    if (const QString error = PortList::scanError(); !error.isEmpty())
        statusBar()->showMessage(QStringLiteral("The serial ports present cannot be listed: ") + error, Panel::messageMs);
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
            : QFileInfo(portName).isAbsolute()       ? portName
                                                     : QString();
        stored = QInputDialog::getText(this, QStringLiteral("Lumivane"),
                                       QStringLiteral("Device path of the Zentrel serial port"),
                                       QLineEdit::Normal, start, &accepted)
                     .trimmed();
        if (!accepted || stored.isEmpty())
            return;
        mOtherPort = stored;
        mPanel->store(Settings::otherPort, stored);
    }

    if (!mPanel->choosePort(stored))
        warnPortNotOpened();
}
