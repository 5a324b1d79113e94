// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include <QApplication>
#include <QEvent>

// Notes which of the operator's hands, mouse or keyboard, acted last, so the
// journal can say which one chose a command: by the time a show's button
// says it was clicked, the event that clicked it is gone.
std::unique_ptr<QObject> LumivaneMainWindow::watchInput(LumivaneMainWindow *window)
{
    class InputWatch : public QObject
    {
    public:
        explicit InputWatch(LumivaneMainWindow *window)
            : mWindow(window)
        {
            qApp->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject *, QEvent *event) override
        {
            switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
                mWindow->mLastInput = QStringLiteral("mouse");
                break;
            // A shortcut such as Esc is seen as its override before any key press.
            case QEvent::KeyPress:
            case QEvent::ShortcutOverride:
                mWindow->mLastInput = QStringLiteral("key");
                break;
            default:
                break;
            }
            return false;
        }

    private:
        LumivaneMainWindow *mWindow;
    };
    return std::make_unique<InputWatch>(window);
}
