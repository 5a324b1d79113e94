// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "setupdialog.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>

SetupDialog::SetupDialog(const PortList::Offer &offer, const QString &portName, const QString &otherPort,
                         QWidget *parent)
    : mOffer(offer), mPortName(portName), mOtherPort(otherPort), mParent(parent)
{
}

bool SetupDialog::exec()
{
    QStringList labels;
    for (const PortList::Item &item : mOffer.items)
        labels << item.label;

    bool accepted = false;
    const QString chosen = QInputDialog::getItem(mParent, QStringLiteral("Lumivane"),
                                                 QStringLiteral("Select the Zentrel serial port"),
                                                 labels, mOffer.current, false, &accepted);
    if (!accepted)
        return false;

    mPort = mOffer.items.at(labels.indexOf(chosen)).stored;
    mTyped = mPort.isEmpty();
    if (mTyped) {
        // Offered as the path last typed, or else the stored port's path.
        const QString start = !mOtherPort.isEmpty() ? mOtherPort
            : QFileInfo(mPortName).isAbsolute()      ? mPortName
                                                     : QString();
        mPort = QInputDialog::getText(mParent, QStringLiteral("Lumivane"),
                                      QStringLiteral("Device path of the Zentrel serial port"),
                                      QLineEdit::Normal, start, &accepted)
                    .trimmed();
        if (!accepted || mPort.isEmpty())
            return false;
    }
    return true;
}
