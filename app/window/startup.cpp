// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#endif

// FcInit is looked up, not linked: it is there whenever the Qt we run on
// uses fontconfig, and fontconfig guards its configuration for threads, so
// a Qt that asks at the same time only repeats the work.
std::jthread startReadingFonts()
{
#ifdef Q_OS_LINUX
    if (auto init = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit")))
        return std::jthread(init);
#endif
    return {};
}

// Without Qt's SVG plugin the window simply has no icon.
void giveWindowIconOnceRunning()
{
    QTimer::singleShot(0, [] { QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumivane.svg"))); });
}

void prepareForTheWindow(std::jthread fontsRead)
{
    // Waiting costs the rest of the reading only; asking while it runs
    // would read the files twice.
    if (fontsRead.joinable())
        fontsRead.join();
}
