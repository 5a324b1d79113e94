// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "link/linkstate.h"
#include "link/linewriter.h"
#include "serialport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int lineBaud = 9600;

// What the line may still take at the end, as long as closing the port then
// gives the driver to send it: on a line that moves, a frame and the few
// commands waiting go out well within it.
constexpr int endingMs = 100;

// The player's line: 9600 baud, 8 data bits, 1 stop bit, no parity.
int openLine(SerialPort &port, const QString &name)
{
    return port.open(QFile::encodeName(name).constData(), lineBaud, 8, 1, 0);
}

bool devicePresent(const QString &name)
{
    return SerialPort::present(QFile::encodeName(name).constData());
}

} // namespace

void LumivaneMainWindow::openSerialPort(const QString &name)
{
    if (!openSerialPortQuietly())
        warnPortNotOpened(name);
}

bool LumivaneMainWindow::openSerialPortQuietly()
{
    closeSerialPort();
    mPortLost = false;
    mPortLabel = portLabel();
    return tryPortQuietly();
}

void LumivaneMainWindow::warnPortNotOpened(const QString &name)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                    QStringLiteral("Could not open serial port ") + name, QMessageBox::Ok, this);
    box.setInformativeText(mWhyNotOpen);
    mPortBox = &box;
    box.exec();
}

bool LumivaneMainWindow::tryPortQuietly()
{
    if (mPort)
        return true;
    auto port = std::make_unique<SerialPort>();
    if (openLine(*port, mPortName) != 0) {
        port->close();
        // Missing is not refused: the watch opens it once it is there.
        const bool present = devicePresent(mPortName);
        mOpenFailure = present ? port->reason() : SerialPort::Reason::None;
        mWhyNotOpen = LinkState::whyNotOpen(port->reason(), qt_error_string(port->systemError()));
        showLink();
        return false;
    }
    mPort = std::move(port);
    startWriter();
    mPortLost = false;
    mOpenFailure = SerialPort::Reason::None;
    mWhyNotOpen.clear();
    showLink();
    // A box saying the port is not open would now say what is no longer
    // so: it goes by itself, its OK never having been pressed.
    if (mPortBox)
        mPortBox->reject();
    // Not from inside here: the port may be opening for a command about to
    // be sent, which then goes first and makes the timetable's stale.
    if (mTimetableOwes[0] || mTimetableOwes[1])
        QMetaObject::invokeMethod(this, &LumivaneMainWindow::fireTimetableOwed, Qt::QueuedConnection);
    return true;
}

// Nothing is sent on reconnecting but what the timetable could not send
// (tryPortQuietly()): the player keeps its own state.
void LumivaneMainWindow::lookForPort()
{
    const bool present = devicePresent(mPortName);
    if (!present)
        portMissing();
    if (LinkState::watch(present, mOpenFailure) != LinkState::Watch::Open || !tryPortQuietly())
        return;
    // Back, perhaps under another system name than before.
    mPortLabel = portLabel();
    showLink();
}

void LumivaneMainWindow::startWriter()
{
    mWriter = std::make_unique<LineWriter>(*mPort, lineBaud);
    connect(mWriter.get(), &LineWriter::writeFailed, this, [this] {
        portLost(QStringLiteral("Could not write to serial port ") + mPortName);
    });
    connect(mWriter.get(), &LineWriter::hungUp, this, [this] {
        portLost(QStringLiteral("Serial port ") + mPortName + QStringLiteral(" was disconnected"));
    });
    connect(mWriter.get(), &LineWriter::stalled, this, [this](bool stalled) {
        mStalled = stalled;
        showLink();
        if (stalled)
            showWaiting();
    });
    connect(mWriter.get(), &LineWriter::sent, this, &LumivaneMainWindow::showSent);
    connect(mWriter.get(), &LineWriter::sent, this, &LumivaneMainWindow::journalSent);
    connect(mWriter.get(), &LineWriter::sent, this, &LumivaneMainWindow::notePlayerState);
    connect(mWriter.get(), &LineWriter::sent, this, &LumivaneMainWindow::noteSentForCatchUp);
    connect(mWriter.get(), &LineWriter::replaced, this, &LumivaneMainWindow::journalReplaced);
}

void LumivaneMainWindow::portLost(const QString &message)
{
    statusBar()->showMessage(message, statusMessageMs);
    // The handle of a vanished device stays dead, and while it is held a
    // replugged USB adapter gets a new name: drop it, and look for the port
    // to come back.
    closeSerialPort();
    mPortLost = true;
    portMissing();
}

// Whatever refused the port before, a device that comes back is tried afresh.
void LumivaneMainWindow::portMissing()
{
    mOpenFailure = SerialPort::Reason::None;
    mWhyNotOpen = LinkState::whyNotOpen(SerialPort::Reason::NoDevice, QString());
    showLink();
}

// The commands still waiting are dropped with the writer.
void LumivaneMainWindow::closeSerialPort()
{
    mWriter.reset();
    if (mPort) {
        mPort->close();
        mPort.reset();
    }
    mStalled = false;
    showLastCommand(mSentLine);
}

// At the program's end: the frame being written is completed, and what waits
// sent, if the line takes it in time. Nobody is left to see the status bar,
// so what it did not take is told on standard error; a remote peer may have
// been told "ok" for it, which means only that it was queued.
void LumivaneMainWindow::endSerialPort()
{
    if (mWriter) {
        QStringList lost;
        for (const LineWriter::Unsent &unsent : mWriter->finish(endingMs)) {
            QString what = describeCommand(unsent.command);
            if (unsent.sentBytes > 0)
                what += QStringLiteral(" (cut off after %1 of its %2 bytes)")
                            .arg(unsent.sentBytes).arg(unsent.command.size());
            lost << what;
        }
        if (!lost.isEmpty()) {
            const QString text = QStringLiteral("lumivane: ended before the line to %1 took: %2\n")
                                     .arg(mPortName, lost.join(QStringLiteral(", ")));
            std::fputs(text.toLocal8Bit().constData(), stderr);
            std::fflush(stderr);
        }
    }
    closeSerialPort();
    saveSentRecord();
}

// Queues a command as the operator's slots ask, or refuses it. Returns
// whether it was queued; dispatch() reads mRefusal to tell a remote sender why not.
bool LumivaneMainWindow::sendCommand(const QByteArray &text)
{
    mRefusal.clear();
    // A port there but refused is tried again only here, once per action.
    if (!tryPortQuietly()) {
        refuseCommand(text, QStringLiteral("no port"));
        if (mPortLost) {
            statusBar()->showMessage(QStringLiteral("Could not write to serial port ") + mPortName,
                                     statusMessageMs);
        } else if (mCommandSource.label.isEmpty()) {
            // Only a hand at the window is answered with a box.
            warnNoPort();
        }
        return false;
    }
    if (mCommandSource.label.isEmpty())
        mCommandSources.remove(text);
    else
        mCommandSources.insert(text, mCommandSource.label);
    mLastQueued = text;
    noteJournalSource(text);
    settleTimetableOwed(text, true);
    mWriter->send(text);
    if (mStalled)
        showWaiting();
    return true;
}

// Every command that is not queued is refused here, whatever refuses it:
// the journal records it with its source, and a remote sender is told why,
// in the words of `told` where the journal's short reason says too little.
void LumivaneMainWindow::refuseCommand(const QByteArray &text, const QString &why, const QString &told)
{
    mRefusal = told.isEmpty() ? why : told;
    settleTimetableOwed(text, false);
    journalRefused(text, why);
}

void LumivaneMainWindow::warnNoPort()
{
    // Not opened here: inside the slider's mouse press, a modal box swallows
    // the release, and the auto-repeat that the slider starts once the press
    // returns would page on to the end, a box for every step. Attempts made
    // while a box is pending or up share it.
    if (mNoPortWarningPending)
        return;
    mNoPortWarningPending = true;
    QTimer::singleShot(0, this, [this] {
        // The press may still hold the slider; the box would keep its release.
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(), QPointF(), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(mBrightSlider, &release);
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                        QStringLiteral("No serial port selected"), QMessageBox::Ok, this);
        box.setInformativeText(QStringLiteral("The chosen port is %1. ").arg(mPortName) + mWhyNotOpen);
        mPortBox = &box;
        box.exec();
        mNoPortWarningPending = false;
    });
}

// Every start of a show comes here, whoever chose it: a click, a key, Go,
// a remote peer or the timetable.
void LumivaneMainWindow::doShowButton(int id)
{
    if (repeatGuarded(id))
        return;
    const bool queued = sendCommand(Commands::startShow(id));
    // No port after the send: it could not be opened, or it went while the
    // line took the command. Either way the player never got this show, and
    // the grid goes back to the one it did get.
    if (queued && mPort) {
        noteStarted(id);
        return;
    }
    if (mLastStarted) {
        showSelector(*mLastStarted)->setChecked(true);
    } else if (QAbstractButton *checked = mShowGroup->checkedButton()) {
        // An exclusive group never unchecks its last button by itself.
        mShowGroup->setExclusive(false);
        checked->setChecked(false);
        mShowGroup->setExclusive(true);
    }
    offerShownPageToTab();
}

// A start after Off is a new start, however soon it comes: the guard is
// against starting the show that plays again, and none plays now.
void LumivaneMainWindow::doOff()
{
    if (sendCommand(Commands::off) && mPort)
        mStartedAt = {};
}

void LumivaneMainWindow::doBright()
{
    sendCommand(Commands::brightness(
        Commands::brightnessLevel(mBrightSlider->value(), mBrightSlider->maximum())));
}
