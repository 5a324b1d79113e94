// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/linewriter.h"
#include "serialport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QRadioButton>
#include <QSlider>

#include <cstdlib>

LumivaneMainWindow::LumivaneMainWindow(QWidget *parent, const char *name, Qt::WindowFlags flags)
    : LumivaneMainWindowBase(parent, name, flags)
{
    createShowButtons();
    connect(mShowGroup.get(), &QButtonGroup::idClicked, this, &LumivaneMainWindow::showClicked);
    createStatusWidgets();
    showBrightness();
    connect(mBrightSlider, &QSlider::valueChanged, this, &LumivaneMainWindow::showBrightness);
    createTimetable();

    // After a power cut nobody is there to answer a box: remote control, the
    // timetable with its catch-up and the watch for an absent port all run
    // before the first one. The port's warning and the question about the
    // name file still come before the window is first shown.
    const QString lastFile = readSettings();
    applyLock();
    if (mSelectThenGo)
        setSelectThenGo(true);
    const bool portOpen = openSerialPortQuietly();
    startRemote();
    startTimetable();
    if (!portOpen && !mPort)
        warnPortNotOpened(mPortName);
    askToLoadLastFile(lastFile);
}

LumivaneMainWindow::~LumivaneMainWindow()
{
    endSerialPort();
}

void LumivaneMainWindow::closeEvent(QCloseEvent *event)
{
    if (unlockedToLeave() && changedNamesSavedOrDropped())
        event->accept();
    else
        event->ignore();
}

void LumivaneMainWindow::doExit()
{
    if (!unlockedToLeave() || !changedNamesSavedOrDropped())
        return;
    // At once, without unwinding the window, but with the port let go of: the
    // system would close the descriptor, yet leave the terminal's exclusive
    // mode on for whoever else has it open.
    endSerialPort();
    std::exit(0);
}
