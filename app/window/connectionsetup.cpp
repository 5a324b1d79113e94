#include "lumivanemainwindow.h"

#include <QFileInfo>
#include <QInputDialog>

void LumivaneMainWindow::doSetup()
{
    // Only a path can be looked for; a Windows COM name that the system
    // does not report is not connected.
    const bool storedExists = QFileInfo(mPortName).isAbsolute() && QFileInfo::exists(mPortName);
    // Asked afresh each time, so an adapter plugged in a moment ago is there.
    const PortList::Offer offer = PortList::offer(PortList::thisPlatform(), findPorts(), mPortName, storedExists);
    QStringList labels;
    for (const PortList::Item &item : offer.items)
        labels << item.label;

    bool accepted = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Lumivane"),
                                                 QStringLiteral("Select the Zentrel serial port"),
                                                 labels, offer.current, false, &accepted);
    if (!accepted)
        return;

    // Stored before it is opened, so the choice stands even if it fails now.
    const QString stored = offer.items.at(labels.indexOf(chosen)).stored;
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
