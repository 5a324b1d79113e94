// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include <QFileInfo>

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
