// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"

#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

namespace {

// "show 12 was started 0.2 s ago", as a remote sender is told.
QString startedAgo(int id, qint64 sinceMs)
{
    return QStringLiteral("show %1 was started %2 s ago")
        .arg(id + 1)
        .arg(QString::number(double(sinceMs) / 1000.0, 'f', 1));
}

} // namespace

// A start of a show that was started less than the guard's time ago is
// ignored, whoever asked for it, and never silently: the selector flashes,
// the status bar and the journal say so, and a remote sender is told. Off
// and brightness never come here. Returns whether the start was ignored.
bool LumivaneMainWindow::repeatGuarded(int id)
{
    const std::optional<qint64> started = mStartedAt[id];
    if (mRepeatGuardMs <= 0 || !started)
        return false;
    const qint64 sinceMs = monotonicMs() - *started;
    if (sinceMs >= mRepeatGuardMs)
        return false;

    const QString ago = startedAgo(id, sinceMs);
    refuseCommand(Commands::startShow(id), QStringLiteral("guard"), ago);
    statusBar()->showMessage(ago.at(0).toUpper() + ago.mid(1) + QStringLiteral("; ignored"), statusMessageMs);
    // A click or a remote command checked the selector before asking; the
    // grid goes back to the show the player got last.
    if (mLastStarted)
        showSelector(*mLastStarted)->setChecked(true);
    flashSelector(id);
    return true;
}

// Only a start that was queued counts, never one refused.
void LumivaneMainWindow::noteStarted(int id)
{
    mStartedAt[id] = monotonicMs();
    mLastStarted = id;
    showSelector(id)->setChecked(true);
}

void LumivaneMainWindow::flashSelector(int id)
{
    QRadioButton *button = showSelector(id);
    button->setProperty("flashing", true);
    styleSelector(id);
    QTimer::singleShot(flashMs, button, [this, id] {
        mShowButtons[id]->setProperty("flashing", false);
        styleSelector(id);
    });
}
