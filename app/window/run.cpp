// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ending/ending.h"

#include "lumivanemainwindow.h"

#include <QApplication>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#endif

// Reading fontconfig's configuration (some forty XML files) is the largest
// single cost before the window can first appear, and the window's first
// font metric waits for it. Begun before the application object, it overlaps
// the loading of the platform plugin and the connection to the display, on
// the second core. FcInit is looked up, not linked: it is there whenever the
// Qt we run on uses fontconfig, and fontconfig guards its configuration for
// threads, so a Qt that asks at the same time only repeats the work.
std::jthread startReadingFonts()
{
#ifdef Q_OS_LINUX
    if (auto init = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit")))
        return std::jthread(init);
#endif
    return {};
}

int runLumivane(std::jthread fontsRead)
{
    EndOnSignals ending;
    // Waiting costs the rest of the reading only; asking while it runs
    // would read the files twice.
    if (fontsRead.joinable())
        fontsRead.join();
    makeRarelyShownIconsLate();
    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    // A signal taken while a box of the start-up was up ended only that
    // box's loop; exec() would start afresh and forget it.
    if (ending.requested())
        return 0;
    window.show();
    return QApplication::exec();
}
