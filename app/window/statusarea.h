// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

#include <functional>

class Panel;
class QLabel;
class QStatusBar;
class StatusLabel;

// The status bar's one row: a passing message or the last command, the
// timetable's mark and next entry, the lock, remote control, the browser
// panel, and the link.
// It shows what the panel says, as the panel says it changed.
class StatusArea : public QWidget
{
    Q_OBJECT

public:
    StatusArea(Panel &panel, QStatusBar *bar);

    // While it gives a text, a message going leaves that text in its place:
    // a show made ready stays told.
    std::function<QString()> lasting;

    QString linkText() const;
    void setLocked(bool locked, const QString &tip);

    void showLink();
    void showLastCommand();
    void showTimetable();
    void showRemote();
    void showWeb();

private:
    void showMessage(const QString &message);

    Panel &mPanel;
    QStatusBar *mBar;
    StatusLabel *mMessageLabel = nullptr;
    StatusLabel *mLastCommandLabel = nullptr;
    StatusLabel *mTimetableMark = nullptr;
    StatusLabel *mNextLabel = nullptr;
    QLabel *mLockedMark = nullptr;
    StatusLabel *mRemoteLabel = nullptr;
    StatusLabel *mWebLabel = nullptr;
    QLabel *mLinkSymbol = nullptr;
    StatusLabel *mLinkLabel = nullptr;
};
