#include "lumivanemainwindow.h"

#include "commands.h"
#include "linewriter.h"
#include "serialport.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int statusMessageMs = 5000;
constexpr int lineBaud = 9600;

// The player's line: 9600 baud, 8 data bits, 1 stop bit, no parity.
int openLine(SerialPort &port, const QString &name)
{
    return port.open(QFile::encodeName(name).constData(), lineBaud, 8, 1, 0);
}

QString whyPortFailed(const SerialPort &port)
{
    switch (port.reason()) {
    case SerialPort::Reason::NoDevice:
        return QStringLiteral("There is no such device. Check that the cable or USB adapter is "
                              "plugged in, or choose another port with File, Setup Connection...");
    case SerialPort::Reason::PermissionDenied:
        return QStringLiteral("Permission denied. On Linux, add your user to the \"dialout\" group "
                              "(sudo adduser $USER dialout) and log in again.");
    case SerialPort::Reason::Busy:
        return QStringLiteral("The port is in use by another program. Close that program, or "
                              "choose another port with File, Setup Connection...");
    case SerialPort::Reason::NotSerial:
        return QStringLiteral("This is not a serial device. Choose another port with "
                              "File, Setup Connection...");
    case SerialPort::Reason::Other:
        return QStringLiteral("The system reported: %1").arg(qt_error_string(port.systemError()));
    case SerialPort::Reason::None:
        break;
    }
    return {};
}

} // namespace

void LumivaneMainWindow::openSerialPort(const QString &name)
{
    closeSerialPort();
    mPortLost = false;

    auto port = std::make_unique<SerialPort>();
    if (openLine(*port, name) == 0) {
        mPort = std::move(port);
        startWriter();
        return;
    }
    port->close();

    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                    QStringLiteral("Could not open serial port ") + name, QMessageBox::Ok, this);
    box.setInformativeText(whyPortFailed(*port));
    box.exec();
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
        const QString text = QStringLiteral("Serial port ") + mPortName
            + QStringLiteral(" is not taking data; commands wait until it does");
        if (stalled)
            statusBar()->showMessage(text);
        else if (statusBar()->currentMessage() == text)
            statusBar()->clearMessage();
    });
}

void LumivaneMainWindow::portLost(const QString &message)
{
    statusBar()->showMessage(message, statusMessageMs);
    // The handle of a vanished device stays dead, and while it is held a
    // replugged USB adapter gets a new name: drop it, so the next command
    // opens the port afresh.
    closeSerialPort();
    mPortLost = true;
}

void LumivaneMainWindow::closeSerialPort()
{
    mWriter.reset();
    if (mPort) {
        mPort->close();
        mPort.reset();
    }
}

// A pulled adapter comes back under the same name: try it again, quietly,
// before each command until it answers.
void LumivaneMainWindow::reopenLostPort()
{
    if (mPort || !mPortLost)
        return;
    auto port = std::make_unique<SerialPort>();
    if (openLine(*port, mPortName) == 0) {
        mPort = std::move(port);
        startWriter();
        mPortLost = false;
    }
}

void LumivaneMainWindow::sendCommand(const QByteArray &text)
{
    reopenLostPort();
    if (!mPort) {
        if (mPortLost) {
            statusBar()->showMessage(QStringLiteral("Could not write to serial port ") + mPortName,
                                     statusMessageMs);
        } else {
            warnNoPort();
        }
        return;
    }
    mWriter->send(text);
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
        QMessageBox::warning(this, QStringLiteral("Lumivane"),
                             QStringLiteral("No serial port selected"));
        mNoPortWarningPending = false;
    });
}

void LumivaneMainWindow::doShowButton(int id)
{
    sendCommand(Commands::startShow(id));
}

void LumivaneMainWindow::doOff()
{
    sendCommand(Commands::off);
}

void LumivaneMainWindow::doBright()
{
    sendCommand(Commands::brightness(
        Commands::brightnessLevel(mBrightSlider->value(), mBrightSlider->maximum())));
}
