// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The port's life: opened, watched while it is not there, lost, and let go
// of at the end.

#include "panel.h"

#include "link/linewriter.h"
#include "portowner/portowner.h"

#include <QFile>
#include <QFileInfo>

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

bool Panel::choosePort(const QString &name)
{
    // Stored before it is opened, so the choice stands even if it fails now.
    const bool same = name == mPortName;
    mPortName = name;
    store(Settings::serialPort, name);
    // Reopening would drop the commands waiting on a stalled line.
    if (same && mPort)
        return true;
    return openPortQuietly();
}

bool Panel::openPortQuietly()
{
    closePort();
    mPortLost = false;
    mPortLabel = labelOfPort();
    return tryPortQuietly();
}

bool Panel::tryPortQuietly()
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
        // Another Lumivane, a service perhaps, is named: closing "that
        // program" means something else then.
        if (port->reason() == SerialPort::Reason::Busy) {
            if (const std::optional<QString> holder = PortOwner::holder(mPortName))
                mWhyNotOpen = QStringLiteral("%1 is in use by %2").arg(labelOfPort(), *holder);
        }
        if (!mPortWatch.isActive())
            mPortWatch.start();
        emit linkChanged();
        return false;
    }
    mPort = std::move(port);
    PortOwner::claim(mPortName, mRole);
    startWriter();
    mPortLost = false;
    mOpenFailure = SerialPort::Reason::None;
    mWhyNotOpen.clear();
    mRefusedNote.clear();
    mPortWatch.stop();
    emit linkChanged();
    emit portOpened();
    // Not from inside here: the port may be opening for a command about to
    // be sent, which then goes first and makes the timetable's stale.
    if (mTimetableOwes[0] || mTimetableOwes[1])
        QMetaObject::invokeMethod(this, &Panel::fireTimetableOwed, Qt::QueuedConnection);
    return true;
}

// Nothing is sent on reconnecting but what the timetable could not send
// (tryPortQuietly()): the player keeps its own state.
void Panel::lookForPort()
{
    const bool present = devicePresent(mPortName);
    if (!present)
        portMissing();
    if (LinkState::watch(present, mOpenFailure) != LinkState::Watch::Open || !tryPortQuietly())
        return;
    // Back, perhaps under another system name than before.
    mPortLabel = labelOfPort();
    emit linkChanged();
}

void Panel::startWriter()
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
        emit linkChanged();
        if (stalled && mLastQueued)
            showLastCommand(LinkState::waitingLine(describe(*mLastQueued),
                                                   mQueuedSources.value(mLastQueued->bytes()).label()));
    });
    connect(mWriter.get(), &LineWriter::sent, this, &Panel::noteSent);
    // Of the timetable's commands, those that a later one of the same kind
    // replaced in the line's queue are named too: each occurrence is
    // accounted for.
    connect(mWriter.get(), &LineWriter::replaced, this, [this](const Command &command) {
        const Source source = mQueuedSources.value(command.bytes());
        if (source.fromTimetable())
            write(command.bytes(), source.journal(), QStringLiteral("replaced"), source.note);
    });
}

void Panel::portLost(const QString &message)
{
    emit this->message(message, messageMs);
    // The handle of a vanished device stays dead, and while it is held a
    // replugged USB adapter gets a new name: drop it, and look for the port
    // to come back.
    closePort();
    mPortLost = true;
    portMissing();
}

// Whatever refused the port before, a device that comes back is tried afresh.
void Panel::portMissing()
{
    mOpenFailure = SerialPort::Reason::None;
    mWhyNotOpen = LinkState::whyNotOpen(SerialPort::Reason::NoDevice, QString());
    if (!mPortWatch.isActive())
        mPortWatch.start();
    emit linkChanged();
}

// The commands still waiting are dropped with the writer.
void Panel::closePort()
{
    mWriter.reset();
    if (mPort) {
        mPort->close();
        mPort.reset();
        PortOwner::release(mPortName);
    }
    mStalled = false;
    showLastCommand(mSentLine);
}

// Nobody may be left to see a window, so what the line did not take is told
// on standard error; a remote peer may have been told "ok" for it, which
// means only that it was queued.
void Panel::end()
{
    if (mWriter) {
        QStringList lost;
        for (const LineWriter::Unsent &unsent : mWriter->finish(endingMs)) {
            QString what = describe(unsent.command);
            if (unsent.sentBytes > 0)
                what += QStringLiteral(" (cut off after %1 of its %2 bytes)")
                            .arg(unsent.sentBytes).arg(unsent.command.bytes().size());
            lost << what;
        }
        if (!lost.isEmpty()) {
            const QString text = QStringLiteral("lumivane: ended before the line to %1 took: %2\n")
                                     .arg(mPortName, lost.join(QStringLiteral(", ")));
            std::fputs(text.toLocal8Bit().constData(), stderr);
            std::fflush(stderr);
        }
    }
    closePort();
    saveSentRecord();
}

LinkState::Indicator Panel::link() const
{
    return LinkState::indicator(mPort != nullptr, mStalled, mPortLabel);
}

QString Panel::linkReason() const
{
    if (!mPort)
        return mWhyNotOpen;
    if (mStalled)
        return QStringLiteral("The port is not taking data; commands wait until it does.");
    return {};
}

QString Panel::linkTip() const
{
    return mRefusedNote.isEmpty() ? linkReason() : linkReason() + QLatin1Char('\n') + mRefusedNote;
}

QString Panel::labelOfPort() const
{
    // Named as stored: the list of ports is not asked for, since where the
    // system has no device database, asking opens each UART node.
    if (PortList::fixedNames().contains(mPortName))
        return mPortName;
    // Setup lists a path that names nothing now, or a pseudo-terminal, under
    // its own name, whatever the system reports: asking it would only cost
    // the start a scan of every terminal device.
    const QFileInfo path(mPortName);
    if (path.isAbsolute()) {
        const QString device = path.canonicalFilePath();
        if (device.isEmpty() || device.startsWith(QLatin1String("/dev/pts/")))
            return PortList::label(PortList::thisPlatform(), {}, mPortName);
    }
    return PortList::label(PortList::thisPlatform(), findPorts(), mPortName);
}
