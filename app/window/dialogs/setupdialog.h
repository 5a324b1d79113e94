// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "link/portlist.h"

#include <QString>

class QWidget;

// File, Setup Connection...: the ports offered, and for "Other..." the
// device path, each in Qt's own input box. Storing and opening the port
// chosen is the caller's.
class SetupDialog
{
public:
    // `portName` is the port stored now, `otherPort` the path last typed
    // under "Other...".
    SetupDialog(const PortList::Offer &offer, const QString &portName, const QString &otherPort, QWidget *parent);

    // False when the operator cancelled, or left the device path blank.
    bool exec();
    // After exec(): the port chosen as the settings keep it, and whether it
    // is a path typed under "Other...".
    QString port() const { return mPort; }
    bool typed() const { return mTyped; }

private:
    PortList::Offer mOffer;
    QString mPortName;
    QString mOtherPort;
    QWidget *mParent;
    QString mPort;
    bool mTyped = false;
};
