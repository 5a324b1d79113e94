// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The least a window that shows any text costs: a menu bar and one line,
// started as Lumivane starts (fonts read on the second core). The empty
// window never loads a font; this one pays what every window with words in
// it pays, so the program's own start-up is what lies above it.

#include "idle.h"
#include "window/startup.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

#include <utility>

int main(int argc, char **argv)
{
    std::jthread fontsRead = startReadingFonts();
    QApplication app(argc, argv);
    int result = 0;
    {
        prepareForTheWindow(std::move(fontsRead));
        QMainWindow window(nullptr, Qt::Window);
        window.menuBar()->addMenu(QStringLiteral("&File"));
        window.setCentralWidget(new QLabel(QStringLiteral("Show 1")));
        window.show();
        quitWhenShownAndIdle(window);
        result = app.exec();
    }
    return result;
}
