// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/linewriter.h"
#include "serialport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QMessageBox>
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

// The licence's name is written with non-breaking hyphens (U+2011), so the
// box never breaks it across two lines.
void LumivaneMainWindow::doAbout()
{
    QMessageBox::about(this, QStringLiteral("About Lumivane"),
                       QStringLiteral("<h3>Lumivane %1</h3>"
                                      "<p>Starts the shows of a Zentrel show player, sets its "
                                      "brightness and switches its output off, over a serial line.</p>"
                                      "<p>Built with Qt %2.</p>"
                                      "<p>Licence: GNU General Public License, version 3 or later "
                                      "(GPL\u20113.0\u2011or\u2011later).<br>"
                                      "Source: <a href=\"https://lumivane.org\">https://lumivane.org</a></p>")
                           .arg(QStringLiteral(LUMIVANE_VERSION), QString::fromLatin1(qVersion())));
}
