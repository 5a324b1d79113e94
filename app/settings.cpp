#include "lumivanemainwindow.h"

#include "ports.h"

#include <QSettings>

namespace {

// Per user; on Linux the file is ~/.config/lumivane.org/Lumivane.conf.
QSettings openSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("lumivane.org"), QStringLiteral("Lumivane"));
}

const QString serialPortKey = QStringLiteral("serialPort");
const QString lastFileKey = QStringLiteral("lastFile");

} // namespace

QString LumivaneMainWindow::readSettings()
{
    const QSettings settings = openSettings();
    // A value of the wrong type or an empty one counts as none stored.
    mPortName = settings.value(serialPortKey).toString();
    if (mPortName.isEmpty())
        mPortName = portList().constFirst();
    return settings.value(lastFileKey).toString();
}

void LumivaneMainWindow::updateSettings()
{
    QSettings settings = openSettings();
    settings.setValue(serialPortKey, mPortName);
    // Written as an empty string when no file was loaded or saved this run.
    settings.setValue(lastFileKey, mLastFile.isNull() ? QString(QLatin1String("")) : mLastFile);
}
