// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "settingvalue.h"

#include <QSettings>
#include <QStatusBar>

namespace {

// Per user; on Linux the file is ~/.config/lumivane.org/Lumivane.conf.
QSettings openSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("lumivane.org"), QStringLiteral("Lumivane"));
}

const QString serialPortKey = QStringLiteral("serialPort");
const QString lastFileKey = QStringLiteral("lastFile");
const QString remoteEnabledKey = QStringLiteral("remote/enabled");
const QString remotePortKey = QStringLiteral("remote/port");
const QString remoteFromOtherComputersKey = QStringLiteral("remote/fromOtherComputers");
const QString remoteAllowedKey = QStringLiteral("remote/allowed");
const QString otherPortKey = QStringLiteral("otherPort");
const QString lockedKey = QStringLiteral("operation/locked");
const QString repeatGuardKey = QStringLiteral("operation/repeatGuardMs");
const QString selectThenGoKey = QStringLiteral("operation/selectThenGo");
const QString showNumbersKey = QStringLiteral("operation/showNumbers");

// A minute: longer than any double start, and a guard of minutes would look
// like a dead panel.
constexpr int longestRepeatGuardMs = 60000;
const QString timetableFileKey = QStringLiteral("timetable/file");
const QString timetableEnabledKey = QStringLiteral("timetable/enabled");
const QString timetableCatchUpKey = QStringLiteral("timetable/catchUp");
const QString askNamesAtStartKey = QStringLiteral("names/askAtStart");

// A switch as stored, or `safe` when it is not stored; a value that is
// neither on nor off also counts as `safe`, and is added to `misread` as the
// operator wrote it, to be told.
bool readSwitch(const QSettings &settings, const QString &key, bool safe, QStringList &misread)
{
    const QVariant stored = settings.value(key);
    if (!stored.isValid() || (stored.typeId() == QMetaType::QString && stored.toString().isEmpty()))
        return safe;
    if (const std::optional<bool> value = SettingValue::boolean(stored))
        return *value;
    // "a, b" comes back as a list; anything else that is no text shows as
    // its type, which is what the file holds in its place.
    const QString written = stored.typeId() == QMetaType::QStringList
        ? stored.toStringList().join(QStringLiteral(", "))
        : stored.canConvert<QString>() ? stored.toString()
                                       : QString::fromLatin1(stored.typeName());
    misread << QStringLiteral("%1=%2 is not on or off; taken as %3")
                   .arg(key, written, safe ? QStringLiteral("on") : QStringLiteral("off"));
    return safe;
}

// A whole number of milliseconds from 0 to longestRepeatGuardMs as stored,
// or 0 (no guard), told in `misread` when something else is stored.
int readGuardMs(const QSettings &settings, const QString &key, QStringList &misread)
{
    const QVariant stored = settings.value(key);
    if (!stored.isValid() || (stored.typeId() == QMetaType::QString && stored.toString().isEmpty()))
        return 0;
    bool isNumber = false;
    const int value = stored.toString().trimmed().toInt(&isNumber);
    if (isNumber && value >= 0 && value <= longestRepeatGuardMs)
        return value;
    misread << QStringLiteral("%1=%2 is not a number of milliseconds from 0 to %3; taken as 0")
                   .arg(key, stored.toString()).arg(longestRepeatGuardMs);
    return 0;
}

Timetable::CatchUp readCatchUp(const QSettings &settings, QStringList &misread)
{
    const QVariant stored = settings.value(timetableCatchUpKey);
    if (!stored.isValid() || (stored.typeId() == QMetaType::QString && stored.toString().isEmpty()))
        return Timetable::CatchUp::Missed;
    if (const auto mode = Timetable::catchUpFromText(stored.toString()))
        return *mode;
    misread << QStringLiteral("%1=%2 is not missed, always or off; taken as missed")
                   .arg(timetableCatchUpKey, stored.toString());
    return Timetable::CatchUp::Missed;
}

} // namespace

QString LumivaneMainWindow::readSettings()
{
    const QSettings settings = openSettings();
    // A value of the wrong type or an empty one counts as none stored.
    mPortName = settings.value(serialPortKey).toString();
    if (mPortName.isEmpty())
        mPortName = PortList::fixedNames().constFirst();

    // Nothing listens unless the operator turned it on, plainly.
    QStringList misread;
    mRemoteConfig.enabled = readSwitch(settings, remoteEnabledKey, false, misread);
    bool isNumber = false;
    const int port = settings.value(remotePortKey).toInt(&isNumber);
    if (isNumber && port >= 1 && port <= 65535)
        mRemoteConfig.port = port;
    mRemoteConfig.fromOtherComputers = readSwitch(settings, remoteFromOtherComputersKey, false, misread);
    mRemoteConfig.allowed = settings.value(remoteAllowedKey).toString();
    mOtherPort = settings.value(otherPortKey).toString();
    // A word that is neither on nor off leaves the controls reachable: a
    // lock nobody can see set must not keep the operator out of Setup.
    mLocked = readSwitch(settings, lockedKey, false, misread);
    mRepeatGuardMs = readGuardMs(settings, repeatGuardKey, misread);
    mSelectThenGo = readSwitch(settings, selectThenGoKey, false, misread);
    // The selectors have their default names yet, which read the same
    // either way.
    mShowNumbers = readSwitch(settings, showNumbersKey, false, misread);
    // A timetable fires only when plainly switched on; a misread catch-up or
    // question stays as a new installation has it.
    mTimetableFile = settings.value(timetableFileKey).toString();
    mTimetableEnabled = readSwitch(settings, timetableEnabledKey, false, misread);
    mTimetableCatchUp = readCatchUp(settings, misread);
    mAskNamesAtStart = readSwitch(settings, askNamesAtStartKey, true, misread);
    // Read once a run, so said once.
    if (!misread.isEmpty())
        statusBar()->showMessage(QStringLiteral("Settings: ") + misread.join(QStringLiteral("; ")));
    return settings.value(lastFileKey).toString();
}

// Each write touches only its own key: another copy of the program on the
// same settings may have stored the other one since this copy started.
void LumivaneMainWindow::storePortName()
{
    storeSetting(serialPortKey, mPortName);
}

void LumivaneMainWindow::storeLastFile()
{
    storeSetting(lastFileKey, mLastFile);
}

void LumivaneMainWindow::storeRemoteEnabled()
{
    storeSetting(remoteEnabledKey, mRemoteConfig.enabled);
}

void LumivaneMainWindow::storeRemotePort()
{
    storeSetting(remotePortKey, mRemoteConfig.port);
}

void LumivaneMainWindow::storeRemoteFromOtherComputers()
{
    storeSetting(remoteFromOtherComputersKey, mRemoteConfig.fromOtherComputers);
}

void LumivaneMainWindow::storeRemoteAllowed()
{
    storeSetting(remoteAllowedKey, mRemoteConfig.allowed);
}

void LumivaneMainWindow::storeOtherPort()
{
    storeSetting(otherPortKey, mOtherPort);
}

void LumivaneMainWindow::storeLocked()
{
    storeSetting(lockedKey, mLocked);
}

void LumivaneMainWindow::storeRepeatGuardMs()
{
    storeSetting(repeatGuardKey, mRepeatGuardMs);
}

void LumivaneMainWindow::storeSelectThenGo()
{
    storeSetting(selectThenGoKey, mSelectThenGo);
}

void LumivaneMainWindow::storeShowNumbers()
{
    storeSetting(showNumbersKey, mShowNumbers);
}

void LumivaneMainWindow::storeTimetableFile()
{
    storeSetting(timetableFileKey, mTimetableFile);
}

void LumivaneMainWindow::storeTimetableCatchUp()
{
    storeSetting(timetableCatchUpKey, Timetable::catchUpText(mTimetableCatchUp));
}

void LumivaneMainWindow::storeTimetableEnabled()
{
    storeSetting(timetableEnabledKey, mTimetableEnabled);
}

void LumivaneMainWindow::storeAskNamesAtStart()
{
    storeSetting(askNamesAtStartKey, mAskNamesAtStart);
}

void LumivaneMainWindow::storeSetting(const QString &key, const QVariant &value)
{
    QSettings settings = openSettings();
    settings.setValue(key, value);
    settings.sync();
    // FormatError is no failure here: a file edited by hand (a "#" line, a
    // byte-order mark) gives it, and the write still succeeds. What counts
    // is whether the value can be read back from the file.
    const bool failed = settings.status() == QSettings::AccessError
        || openSettings().value(key).toString() != value;
    // The choice still holds for this run; say once that it will not last.
    if (failed && !mSettingsFailed)
        statusBar()->showMessage(QStringLiteral("Could not store the settings in ") + settings.fileName(),
                                 statusMessageMs);
    mSettingsFailed = failed;
}
