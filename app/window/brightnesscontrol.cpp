// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "link/linkstate.h"
#include "panel/panel.h"

#include <QCursor>
#include <QSlider>
#include <QToolTip>

// The slider's own value runs from 0 at the top (full) to 99: what it says,
// to the eye and to a screen reader, is the brightness it sends.
void LumivaneMainWindow::showBrightness()
{
    const int level = Commands::brightnessLevel(mBrightSlider->value(), mBrightSlider->maximum());
    const QString text = LinkState::describe(Command::brightness(level), [](int) { return QString(); });
    mBrightSlider->setToolTip(text);
    mBrightSlider->setAccessibleDescription(text);
    // While a hand drags it, the tooltip follows the handle, which is under
    // the pointer.
    if (mBrightSlider->isSliderDown())
        QToolTip::showText(QCursor::pos() + QPoint(16, 0), text, mBrightSlider);
}

void LumivaneMainWindow::doBright()
{
    if (mFollowing)
        return;
    mPanel->dispatch(Command::brightness(Commands::brightnessLevel(mBrightSlider->value(), mBrightSlider->maximum())),
                     hand());
}

// Another source set the brightness: the control shows it, without sending
// it again.
void LumivaneMainWindow::followBrightness(int level)
{
    for (int value = 0; value <= mBrightSlider->maximum(); ++value) {
        if (Commands::brightnessLevel(value, mBrightSlider->maximum()) != level)
            continue;
        if (value != mBrightSlider->value()) {
            mFollowing = true;
            mBrightSlider->setValue(value);
            mFollowing = false;
        }
        return;
    }
}
