// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The slots that open a dialog: each builds it from the window's state,
// runs it, and applies and stores what the operator chose.

#include "lumivanemainwindow.h"

#include "dialogs/aboutbox.h"
#include "dialogs/browserpaneldialog.h"
#include "dialogs/journaldialog.h"
#include "dialogs/operationdialog.h"
#include "dialogs/remotedialog.h"
#include "dialogs/setupdialog.h"
#include "dialogs/shownamesdialog.h"
#include "dialogs/timetabledialog.h"
#include "dialogs/timetablewarning.h"
#include "panel/panel.h"

#include <QFileInfo>
#include <QStatusBar>

void LumivaneMainWindow::doAbout()
{
    showAbout(this);
}

void LumivaneMainWindow::doJournal()
{
    JournalDialog dialog(mPanel->journal().folder(), this);
    dialog.exec();
}

void LumivaneMainWindow::doSetup()
{
    // Only a path can be looked for; a Windows COM name that the system
    // does not report is not connected.
    const auto exists = [](const QString &path) { return QFileInfo(path).isAbsolute() && QFileInfo::exists(path); };
    // Asked afresh each time, so an adapter plugged in a moment ago is there.
    const QString portName = mPanel->portName();
    const PortList::Offer offer = PortList::offer(PortList::thisPlatform(), mPanel->findPorts(), portName,
                                                  exists(portName), mOtherPort, exists(mOtherPort));
    // Said before the box opens, where the operator can read it beside the
    // list: adapters missing from it are then no mystery.
    if (const QString error = PortList::scanError(); !error.isEmpty())
        statusBar()->showMessage(QStringLiteral("The serial ports present cannot be listed: ") + error, Panel::messageMs);

    SetupDialog dialog(offer, portName, mOtherPort, this);
    if (!dialog.exec())
        return;
    if (dialog.typed()) {
        mOtherPort = dialog.port();
        mPanel->store(Settings::otherPort, mOtherPort);
    }
    if (!mPanel->choosePort(dialog.port()))
        warnPortNotOpened();
}

void LumivaneMainWindow::doRemote()
{
    RemoteDialog dialog(mPanel->remoteConfig(), mPanel->remote(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.config() == mPanel->remoteConfig())
        return;
    mPanel->setRemoteConfig(dialog.config());
    if (dialog.config().enabled && !mPanel->remote().listening())
        statusBar()->showMessage(QStringLiteral("Remote control: ") + mPanel->remote().status(), Panel::messageMs);
}

void LumivaneMainWindow::doBrowserPanel()
{
    BrowserPanelDialog dialog(mPanel->webConfig(), mPanel->web(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const bool changed = dialog.config() != mPanel->webConfig();
    const std::optional<QString> password = dialog.password();
    if (!changed && !password)
        return;
    if (changed)
        mPanel->setWebConfig(dialog.config());
    if (password && !mPanel->setWebPassword(*password))
        statusBar()->showMessage(
            QStringLiteral("Browser panel: the password could not be set: ") + mPanel->web().status(), Panel::messageMs);
    else if (dialog.config().enabled && !mPanel->web().listening())
        statusBar()->showMessage(QStringLiteral("Browser panel: ") + mPanel->web().status(), Panel::messageMs);
}

void LumivaneMainWindow::doOperation()
{
    OperationDialog dialog({ mPanel->repeatGuardMs(), mSelectThenGo, mShowNumbers }, this);
    connect(&dialog, &OperationDialog::repeatGuardChanged, mPanel.get(), &Panel::setRepeatGuardMs);
    connect(&dialog, &OperationDialog::selectThenGoChanged, this, [this](bool on) {
        setSelectThenGo(on);
        mPanel->store(Settings::selectThenGo, on);
    });
    connect(&dialog, &OperationDialog::showNumbersChanged, this, [this](bool on) {
        setShowNumbers(on);
        mPanel->store(Settings::showNumbers, on);
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
    const TimetableClock &clock = mPanel->timetableClock();
    const QString file = mPanel->timetableFile();
    Timetable::Table shown = clock.running() ? clock.table() : Timetable::Table {};
    std::optional<QByteArray> onDisk;
    if (!file.isEmpty() && QFileInfo::exists(file)) {
        Timetable::Table read;
        const QString error = Panel::readTimetable(file, read, onDisk);
        if (error.isEmpty())
            shown = read;
        else if (!askToEditUnreadable(this, file, onDisk.has_value(), error, clock.running()))
            return;
    }
    TimetableDialog dialog(this);
    dialog.setZone(clock.zoneFor(Timetable::Table {}));
    dialog.setTimetable(shown, file, onDisk);
    dialog.setRunning(mPanel->timetableEnabled());
    dialog.setCatchUp(mPanel->timetableCatchUp());
    dialog.setLoadNamesWithoutAsking(!mAskNamesAtStart);
    connect(&dialog, &TimetableDialog::sendNow, this, &LumivaneMainWindow::sendFromEditor);
    if (dialog.exec() != QDialog::Accepted)
        return;

    mPanel->setTimetable(dialog.fileName(), dialog.running(), dialog.catchUp());
    mAskNamesAtStart = !dialog.loadNamesWithoutAsking();
    mPanel->store(Settings::askNamesAtStart, mAskNamesAtStart);
}

// The operator's own path, as a click on the show or a drag of the slider.
void LumivaneMainWindow::sendFromEditor(const Timetable::Action &action)
{
    mPanel->dispatch(Panel::commandFor(action), hand());
}
