// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "panel/panel.h"
#include "statusarea.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>

namespace {

const QString lockedTip = QStringLiteral("Locked: File, Lock Controls unlocks it");

} // namespace

// What the lock keeps out of reach: whatever changes a setting, the names or
// a file. The shows, the slider, Off and Esc are never among them, nor the
// journal, which only reads.
QList<QAction *> LumivaneMainWindow::lockableActions() const
{
    QList<QAction *> actions { fileSetupAction, fileRemoteAction, fileBrowserPanelAction, fileTimetableAction,
                               fileOperationAction, fileLoadAction, fileEditAction, fileSaveAction };
    if (mAutostartAction)
        actions << mAutostartAction;
    return actions;
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
