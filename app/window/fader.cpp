// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "link/linkstate.h"

#include <QCursor>
#include <QSlider>
#include <QToolTip>

// The slider's own value runs from 0 at the top (full) to 99: what it says,
// to the eye and to a screen reader, is the brightness it sends.
void LumivaneMainWindow::showBrightness()
{
    const int level = Commands::brightnessLevel(mBrightSlider->value(), mBrightSlider->maximum());
    const QString text = LinkState::describe(Commands::brightness(level), {});
    mBrightSlider->setToolTip(text);
    mBrightSlider->setAccessibleDescription(text);
    // While a hand drags it, the tooltip follows the handle, which is under
    // the pointer.
    if (mBrightSlider->isSliderDown())
        QToolTip::showText(QCursor::pos() + QPoint(16, 0), text, mBrightSlider);
}
