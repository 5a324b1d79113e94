// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's own start-up, as app/main.cpp does it, ending once shown and
// idle. It reads the settings the benchmark driver prepared, as the program
// would.
#include "idle.h"
#include "window/lumivanemainwindow.h"
#include "window/startup.h"

#include <QApplication>

#include <utility>

int main(int argc, char **argv)
{
    std::jthread fontsRead = startReadingFonts();
    QApplication app(argc, argv);
    int result = 0;
    {
        prepareForTheWindow(std::move(fontsRead));
        LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
        window.show();
        quitWhenShownAndIdle(window);
        result = app.exec();
    }
    return result;
}
