// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The slots that open a dialog: each builds it from the window's state,
// runs it, and applies and stores what the operator chose.

#include "lumivanemainwindow.h"

#include "dialogs/aboutbox.h"
#include "dialogs/operationdialog.h"
#include "dialogs/remotedialog.h"
#include "dialogs/setupdialog.h"
#include "dialogs/shownamesdialog.h"
#include "dialogs/timetabledialog.h"
#include "dialogs/timetablewarning.h"

#include <QFileInfo>
#include <QRadioButton>
#include <QStatusBar>

void LumivaneMainWindow::doAbout()
{
    showAbout(this);
}

void LumivaneMainWindow::doSetup()
{
    // Only a path can be looked for; a Windows COM name that the system
    // does not report is not connected.
    const auto exists = [](const QString &path) { return QFileInfo(path).isAbsolute() && QFileInfo::exists(path); };
    // Asked afresh each time, so an adapter plugged in a moment ago is there.
    const PortList::Offer offer = PortList::offer(PortList::thisPlatform(), findPorts(), mPortName,
                                                  exists(mPortName), mOtherPort, exists(mOtherPort));
    // Said before the box opens, where the operator can read it beside the
    // list: adapters missing from it are then no mystery.
    if (const QString error = PortList::scanError(); !error.isEmpty())
        statusBar()->showMessage(QStringLiteral("The serial ports present cannot be listed: ") + error, statusMessageMs);

    SetupDialog dialog(offer, mPortName, mOtherPort, this);
    if (!dialog.exec())
        return;
    if (dialog.typed()) {
        mOtherPort = dialog.port();
        storeOtherPort();
    }
    // Stored before it is opened, so the choice stands even if it fails now.
    const bool same = dialog.port() == mPortName;
    mPortName = dialog.port();
    storePortName();
    // Reopening would drop the commands waiting on a stalled line.
    if (!same || !mPort)
        openSerialPort(mPortName);
}

void LumivaneMainWindow::doRemote()
{
    RemoteDialog dialog(mRemoteConfig, remote(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.config() == mRemoteConfig)
        return;
    const RemoteConfig was = std::exchange(mRemoteConfig, dialog.config());
    if (mRemoteConfig.enabled != was.enabled)
        storeRemoteEnabled();
    if (mRemoteConfig.port != was.port)
        storeRemotePort();
    if (mRemoteConfig.fromOtherComputers != was.fromOtherComputers)
        storeRemoteFromOtherComputers();
    if (mRemoteConfig.allowed != was.allowed)
        storeRemoteAllowed();
    remote().configure(mRemoteConfig);
    showRemote();
    if (mRemoteConfig.enabled && !remote().listening())
        statusBar()->showMessage(QStringLiteral("Remote control: ") + remote().status(), statusMessageMs);
}

void LumivaneMainWindow::doOperation()
{
    OperationDialog dialog({ mRepeatGuardMs, mSelectThenGo, mShowNumbers }, this);
    connect(&dialog, &OperationDialog::repeatGuardChanged, this, [this](int ms) {
        mRepeatGuardMs = ms;
        storeRepeatGuardMs();
    });
    connect(&dialog, &OperationDialog::selectThenGoChanged, this, [this](bool on) {
        setSelectThenGo(on);
        storeSelectThenGo();
    });
    connect(&dialog, &OperationDialog::showNumbersChanged, this, [this](bool on) {
        setShowNumbers(on);
        storeShowNumbers();
    });
    dialog.exec();
}

void LumivaneMainWindow::doEditNames()
{
    ShowNamesDialog dialog(showNames(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList before = showNames();
    const QStringList names = dialog.names();
    for (int id = 0; id < int(names.size()); ++id)
        setShowName(id, names.at(id));
    mNamesChanged = mNamesChanged || showNames() != before;
}

// The editor saves the plan itself, and closes only once it is saved or
// the operator dropped it; here the settings are stored and the file is
// put in force as it now is.
void LumivaneMainWindow::doTimetable()
{
    // A file that cannot be read as it stands, perhaps a long one with one
    // line mistyped by hand, is not silently replaced by what the editor saves.
    Timetable::Table shown = mTimetable.running() ? mTimetable.table() : Timetable::Table {};
    std::optional<QByteArray> onDisk;
    if (!mTimetableFile.isEmpty() && QFileInfo::exists(mTimetableFile)) {
        Timetable::Table read;
        const QString error = readTimetable(mTimetableFile, read, onDisk);
        if (error.isEmpty())
            shown = read;
        else if (!askToEditUnreadable(this, mTimetableFile, onDisk.has_value(), error, mTimetable.running()))
            return;
    }
    TimetableDialog dialog(this);
    dialog.setZone(mTimetable.zoneFor(Timetable::Table {}));
    dialog.setTimetable(shown, mTimetableFile, onDisk);
    dialog.setRunning(mTimetableEnabled);
    dialog.setCatchUp(mTimetableCatchUp);
    dialog.setLoadNamesWithoutAsking(!mAskNamesAtStart);
    connect(&dialog, &TimetableDialog::sendNow, this, &LumivaneMainWindow::sendFromEditor);
    if (dialog.exec() != QDialog::Accepted)
        return;

    mTimetableFile = dialog.fileName();
    mTimetableEnabled = dialog.running();
    mTimetableCatchUp = dialog.catchUp();
    mAskNamesAtStart = !dialog.loadNamesWithoutAsking();
    storeTimetableFile();
    storeTimetableEnabled();
    storeTimetableCatchUp();
    storeAskNamesAtStart();
    startTimetable();
}

void LumivaneMainWindow::sendFromEditor(const Timetable::Action &action)
{
    switch (action.kind) {
    case Timetable::Action::Kind::Show:
        // Checked where it stands, as a click checks it; the repeat guard
        // and the line take it from there.
        showSelector(action.value - 1)->setChecked(true);
        doShowButton(action.value - 1);
        break;
    case Timetable::Action::Kind::Brightness:
        sendBrightnessPercent(action.value);
        break;
    case Timetable::Action::Kind::Off:
        doOff();
        break;
    }
}
