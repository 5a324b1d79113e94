// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "panel/panel.h"
#include "statusarea.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

namespace {

const QString lockedTip = QStringLiteral("Locked: File, Lock Controls unlocks it");

} // namespace

// What the lock keeps out of reach: whatever changes a setting, the names or
// a file. The shows, the slider, Off and Esc are never among them, nor the
// journal, which only reads.
QList<QAction *> LumivaneMainWindow::lockableActions() const
{
    return { fileSetupAction, fileRemoteAction, fileTimetableAction, fileOperationAction,
             fileLoadAction,  fileEditAction,   fileSaveAction };
}

void LumivaneMainWindow::applyLock(bool locked)
{
    fileLockAction->setChecked(locked);
    for (QAction *action : lockableActions()) {
        action->setEnabled(!locked);
        // Empty gives the menu nothing to show.
        action->setToolTip(locked ? lockedTip : QString());
    }
    mStatus->setLocked(locked, lockedTip);
}

bool LumivaneMainWindow::askToUnlock()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Lumivane"),
                    QStringLiteral("Unlock: settings, names and the timetable can be changed again."),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    return box.exec() == QMessageBox::Ok;
}

void LumivaneMainWindow::doLock()
{
    // The action has toggled itself already.
    if (!fileLockAction->isChecked() && !askToUnlock()) {
        fileLockAction->setChecked(true);
        return;
    }
    mPanel->setLocked(fileLockAction->isChecked());
}

// Leaving ends the timetable and remote control, which is what the lock
// guards: while locked, File, Exit and closing the window first take the
// answer that unlocks. A signal never comes here; nobody may be there.
bool LumivaneMainWindow::unlockedToLeave()
{
    if (!mPanel->locked())
        return true;
    if (!askToUnlock())
        return false;
    mPanel->setLocked(false);
    return true;
}

void LumivaneMainWindow::doOperation()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Operation"));

    auto *guard = new QComboBox(&dialog);
    guard->addItem(QStringLiteral("Off"), 0);
    for (const int ms : { 300, 500, 1000 })
        guard->addItem(QStringLiteral("%1 ms").arg(ms), ms);
    // A time written into the settings by hand is offered as it is, so that
    // opening the dialog does not change it.
    const int guardMs = mPanel->repeatGuardMs();
    if (guard->findData(guardMs) < 0)
        guard->addItem(QStringLiteral("%1 ms").arg(guardMs), guardMs);
    guard->setCurrentIndex(guard->findData(guardMs));
    auto *selectThenGo = new QCheckBox(QStringLiteral("Select a show first, then send it with Enter or Go"), &dialog);
    selectThenGo->setChecked(mSelectThenGo);
    auto *numbers = new QCheckBox(QStringLiteral("Show numbers on the buttons"), &dialog);
    numbers->setChecked(mShowNumbers);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Ignore a repeated start of a show within:"), guard);
    form->addRow(selectThenGo);
    form->addRow(numbers);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // Each change is stored at once and takes effect at once.
    connect(guard, &QComboBox::currentIndexChanged, &dialog, [this, guard] {
        mPanel->setRepeatGuardMs(guard->currentData().toInt());
    });
    connect(selectThenGo, &QCheckBox::toggled, &dialog, [this](bool on) {
        setSelectThenGo(on);
        mPanel->store(Settings::selectThenGo, on);
    });
    connect(numbers, &QCheckBox::toggled, &dialog, [this](bool on) {
        setShowNumbers(on);
        mPanel->store(Settings::showNumbers, on);
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.exec();
}
