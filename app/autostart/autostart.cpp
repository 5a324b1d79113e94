// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace {

constexpr char runKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char valueName[] = "Lumivane";

// Quoted: a program under "C:\Program Files" has a blank in its path.
QString command()
{
    return QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) + QLatin1Char('"');
}

} // namespace

namespace Autostart {

bool enabled()
{
    QSettings run(QString::fromLatin1(runKey), QSettings::NativeFormat);
    return run.value(QString::fromLatin1(valueName)).toString().compare(command(), Qt::CaseInsensitive) == 0;
}

QString setEnabled(bool on)
{
    QSettings run(QString::fromLatin1(runKey), QSettings::NativeFormat);
    if (on)
        run.setValue(QString::fromLatin1(valueName), command());
    else
        run.remove(QString::fromLatin1(valueName));
    run.sync();
    if (run.status() != QSettings::NoError || enabled() != on)
        return QStringLiteral("Windows' list of programs started at log-on could not be changed");
    return {};
}

} // namespace Autostart
