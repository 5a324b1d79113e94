// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

class QSocketNotifier;

// Hears the system's wall clock being set (by hand, an NTP step, a resume
// from suspend) without waking the program otherwise. On Linux a
// CLOCK_REALTIME timerfd that the kernel cancels when the clock is set; on
// Windows a hidden top-level window, as WM_TIMECHANGE goes only to those.
class ClockSetNotice : public QObject
{
    Q_OBJECT

public:
    explicit ClockSetNotice(QObject *parent = nullptr);
    ~ClockSetNotice() override;

    // False where nothing could be set up; the timetable's minute check
    // then still sees a step, later.
    bool listening() const { return mHandle != -1; }

signals:
    void clockSet();

private:
    bool arm();

    qintptr mHandle = -1; // the timerfd or the window
    QSocketNotifier *mNotifier = nullptr;
};
