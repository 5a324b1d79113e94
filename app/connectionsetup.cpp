#include "lumivanemainwindow.h"

#include "ports.h"

#include <QInputDialog>

void LumivaneMainWindow::doSetup()
{
    const QStringList ports = portList();
    // A stored device path or an unknown name is not offered; COM1 is.
    const int current = std::max(0, int(ports.indexOf(mPortName)));

    bool accepted = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Lumivane"),
                                                 QStringLiteral("Select the Zentrel serial port"),
                                                 ports, current, false, &accepted);
    if (!accepted)
        return;

    // Stored before it is opened, so the choice stands even if it fails now.
    mPortName = chosen;
    updateSettings();
    openSerialPort(chosen);
}
