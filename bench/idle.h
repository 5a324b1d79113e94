// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

// Ends the process's event loop once the window is on screen and the queue
// has run dry, so that start-up can be timed as a whole process. The program
// and its baseline use the same check, so its cost cancels out.
inline void quitWhenShownAndIdle(QWidget &window)
{
    auto *poll = new QTimer(&window);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
        const QWindow *handle = window.windowHandle();
        if (!handle || !handle->isExposed())
            return;
        poll->stop();
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    });
    poll->start();
}
