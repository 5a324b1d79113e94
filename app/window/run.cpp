// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ending/ending.h"

#include "lumivanemainwindow.h"
#include "startup.h"

#include <QApplication>

#include <utility>

int runLumivane(std::jthread fontsRead)
{
    EndOnSignals ending;
    prepareForTheWindow(std::move(fontsRead));
    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    // A signal taken while a box of the start-up was up ended only that
    // box's loop; exec() would start afresh and forget it.
    if (ending.requested())
        return 0;
    window.show();
    return QApplication::exec();
}
