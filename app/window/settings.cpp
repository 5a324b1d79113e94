// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "settings/settings.h"

#include <QStatusBar>

QString LumivaneMainWindow::readSettings()
{
    const Settings::Values settings = Settings::Values::read();
    mPortName = settings.text(Settings::serialPort);
    if (mPortName.isEmpty())
        mPortName = PortList::fixedNames().constFirst();

    mRemoteConfig.enabled = settings.flag(Settings::remoteEnabled);
    mRemoteConfig.port = settings.number(Settings::remotePort);
    mRemoteConfig.fromOtherComputers = settings.flag(Settings::remoteFromOtherComputers);
    mRemoteConfig.allowed = settings.text(Settings::remoteAllowed);
    mOtherPort = settings.text(Settings::otherPort);
    mLocked = settings.flag(Settings::locked);
    mRepeatGuardMs = settings.number(Settings::repeatGuardMs);
    mSelectThenGo = settings.flag(Settings::selectThenGo);
    // The selectors have their default names yet, which read the same
    // either way.
    mShowNumbers = settings.flag(Settings::showNumbers);
    mTimetableFile = settings.text(Settings::timetableFile);
    mTimetableEnabled = settings.flag(Settings::timetableEnabled);
    mTimetableCatchUp = Timetable::catchUpFromText(settings.text(Settings::timetableCatchUp))
                            .value_or(Timetable::CatchUp::Missed);
    mAskNamesAtStart = settings.flag(Settings::askNamesAtStart);
    // Read once a run, so said once.
    if (const QStringList misread = settings.misread(); !misread.isEmpty())
        statusBar()->showMessage(QStringLiteral("Settings: ") + misread.join(QStringLiteral("; ")));
    return settings.text(Settings::lastFile);
}

void LumivaneMainWindow::storePortName()
{
    storeSetting(Settings::serialPort, mPortName);
}

void LumivaneMainWindow::storeLastFile()
{
    storeSetting(Settings::lastFile, mLastFile);
}

void LumivaneMainWindow::storeRemoteEnabled()
{
    storeSetting(Settings::remoteEnabled, mRemoteConfig.enabled);
}

void LumivaneMainWindow::storeRemotePort()
{
    storeSetting(Settings::remotePort, mRemoteConfig.port);
}

void LumivaneMainWindow::storeRemoteFromOtherComputers()
{
    storeSetting(Settings::remoteFromOtherComputers, mRemoteConfig.fromOtherComputers);
}

void LumivaneMainWindow::storeRemoteAllowed()
{
    storeSetting(Settings::remoteAllowed, mRemoteConfig.allowed);
}

void LumivaneMainWindow::storeOtherPort()
{
    storeSetting(Settings::otherPort, mOtherPort);
}

void LumivaneMainWindow::storeLocked()
{
    storeSetting(Settings::locked, mLocked);
}

void LumivaneMainWindow::storeRepeatGuardMs()
{
    storeSetting(Settings::repeatGuardMs, mRepeatGuardMs);
}

void LumivaneMainWindow::storeSelectThenGo()
{
    storeSetting(Settings::selectThenGo, mSelectThenGo);
}

void LumivaneMainWindow::storeShowNumbers()
{
    storeSetting(Settings::showNumbers, mShowNumbers);
}

void LumivaneMainWindow::storeTimetableFile()
{
    storeSetting(Settings::timetableFile, mTimetableFile);
}

void LumivaneMainWindow::storeTimetableCatchUp()
{
    storeSetting(Settings::timetableCatchUp, Timetable::catchUpText(mTimetableCatchUp));
}

void LumivaneMainWindow::storeTimetableEnabled()
{
    storeSetting(Settings::timetableEnabled, mTimetableEnabled);
}

void LumivaneMainWindow::storeAskNamesAtStart()
{
    storeSetting(Settings::askNamesAtStart, mAskNamesAtStart);
}

void LumivaneMainWindow::storeSetting(const QString &key, const QVariant &value)
{
    const QString notStoredIn = Settings::store(key.toLatin1().constData(), value);
    const bool failed = !notStoredIn.isEmpty();
    // The choice still holds for this run; say once that it will not last.
    if (failed && !mSettingsFailed)
        statusBar()->showMessage(QStringLiteral("Could not store the settings in ") + notStoredIn, statusMessageMs);
    mSettingsFailed = failed;
}
