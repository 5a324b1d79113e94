// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The floor for start-up and memory: an empty main window in the same tree,
// built the same way and shown the same way as the program.
#include "idle.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int result = 0;
    {
        QMainWindow window(nullptr, Qt::Window);
        window.show();
        quitWhenShownAndIdle(window);
        result = app.exec();
    }
    return result;
}
