// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "serialport.h"
#include "pty.h"

#include <QTemporaryDir>
#include <QTest>

#include <QFile>
#include <QElapsedTimer>
#include <QScopeGuard>

#include <cerrno>
#include <sys/stat.h>

// The POSIX back end on real pseudo-terminals: the bytes read on the other
// side, and the line settings read back from it.
class tst_SerialPort : public QObject
{
    Q_OBJECT

private slots:
    void devicePath_data();
    void devicePath();

    void writesExactBytes_data();
    void writesExactBytes();
    void configuresTheLine();
    void twoStopBitsAndEvenParity();
    void unsupportedArgumentsFailToBuild();

    void refusesWhatIsNotAPort_data();
    void refusesWhatIsNotAPort();
    void secondOpenOfAHeldPortFails();
    void closeIsSafeAfterFailureAndTwice();
    void destructorReleasesThePort();
    void boundedWriteWhenNobodyReads();
    void writeFailsWhenTheDeviceVanishes();
};

void tst_SerialPort::devicePath_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("COM1") << QByteArray("COM1") << QByteArray("/dev/ttyS0");
    QTest::newRow("COM4") << QByteArray("COM4") << QByteArray("/dev/ttyS3");
    QTest::newRow("COM5 has no mapping") << QByteArray("COM5") << QByteArray();
    QTest::newRow("lower case") << QByteArray("com1") << QByteArray();
    QTest::newRow("empty") << QByteArray("") << QByteArray();
    QTest::newRow("relative path") << QByteArray("ttyUSB0") << QByteArray();
    QTest::newRow("by-id path") << QByteArray("/dev/serial/by-id/usb-FTDI_1-if00-port0")
                                << QByteArray("/dev/serial/by-id/usb-FTDI_1-if00-port0");
    QTest::newRow("too long") << ("/" + QByteArray(5000, 'a')) << QByteArray();
}

void tst_SerialPort::devicePath()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, path);
    QCOMPARE(QByteArray::fromStdString(SerialPort::devicePath(name.constData())), path);
    QVERIFY(SerialPort::devicePath(nullptr).empty());
}

void tst_SerialPort::writesExactBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("off") << QByteArray("X0100");
    QTest::newRow("show") << QByteArray("X0480");
    // Output processing would turn LF into CR LF, and XON/XOFF would eat 0x13.
    QTest::newRow("line feed and XOFF") << QByteArray("A\nB\x13" "C\r");
    QTest::newRow("empty") << QByteArray();
}

void tst_SerialPort::writesExactBytes()
{
    QFETCH(QByteArray, text);
    Pty pty;
    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
    QVERIFY(port.isOpen());
    QVERIFY(port.write(text.constData()));
    QCOMPARE(pty.read(), text);
    port.close();
}

void tst_SerialPort::configuresTheLine()
{
    Pty pty;
    termios before = pty.lineSettings();
    // A fresh pseudo-terminal is at 38400 with IXON and output processing on,
    // so what follows proves the settings were applied.
    QCOMPARE(cfgetospeed(&before), speed_t(B38400));
    QVERIFY(before.c_iflag & IXON);

    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
    const termios tio = pty.lineSettings();
    QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (CSTOPB | PARENB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
}

void tst_SerialPort::twoStopBitsAndEvenParity()
{
    Pty pty;
    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 19200, 7, 2, 1), 0);
    const termios tio = pty.lineSettings();
    QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
    QVERIFY(tio.c_cflag & CSTOPB);
    // A pseudo-terminal always reads back as eight bits without parity, so
    // data bits and parity cannot be seen here.
}

void tst_SerialPort::unsupportedArgumentsFailToBuild()
{
    Pty pty;
    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 12345, 8, 1, 0), -4);
    QVERIFY(!port.isOpen());
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 9, 1, 0), -4);
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 3, 0), -4);
    // A failed open leaves the port free for the next attempt.
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
}

void tst_SerialPort::refusesWhatIsNotAPort_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("reason");
    QTest::newRow("missing path") << "missing" << int(SerialPort::Reason::NoDevice);
    QTest::newRow("not a tty") << "/dev/null" << int(SerialPort::Reason::NotSerial);
    QTest::newRow("regular file") << "file" << int(SerialPort::Reason::NotSerial);
    QTest::newRow("directory") << "dir" << int(SerialPort::Reason::NotSerial);
    QTest::newRow("unknown name") << "COM9" << int(SerialPort::Reason::NoDevice);
    QTest::newRow("node with nothing behind it") << "locked" << int(SerialPort::Reason::NoDevice);
}

void tst_SerialPort::refusesWhatIsNotAPort()
{
    QFETCH(QString, kind);
    QFETCH(int, reason);

    QTemporaryDir dir;
    QString path = kind;
    const QByteArray content("keep me");
    int locked = -1;
    if (kind == "missing") {
        path = dir.filePath("nothing-here");
    } else if (kind == "file") {
        path = dir.filePath("settings.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    } else if (kind == "dir") {
        path = dir.path();
    } else if (kind == "locked") {
        // A pseudo-terminal not yet unlocked fails to open with EIO, as a
        // ttyS node with no UART behind it does.
        locked = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(locked >= 0 && grantpt(locked) == 0);
        path = QString::fromLocal8Bit(ptsname(locked));
    }
    const auto unlock = qScopeGuard([&] { if (locked >= 0) ::close(locked); });

    SerialPort port;
    QCOMPARE(port.open(QFile::encodeName(path).constData(), 9600, 8, 1, 0), -1);
    QVERIFY(!port.isOpen());
    QCOMPARE(int(port.reason()), reason);
    QVERIFY(!port.write("X0100"));

    if (kind == "file") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }
    if (kind == "missing")
        QVERIFY(!QFile::exists(path));
}

void tst_SerialPort::secondOpenOfAHeldPortFails()
{
    Pty pty;
    SerialPort first;
    QCOMPARE(first.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);

    // Also for root, whom the terminal's exclusive mode alone does not stop.
    SerialPort second;
    QCOMPARE(second.open(pty.slavePath.constData(), 9600, 8, 1, 0), -1);
    QVERIFY(!second.isOpen());
    QCOMPARE(second.reason(), SerialPort::Reason::Busy);

    QVERIFY(first.write("X0401"));
    QCOMPARE(pty.read(), QByteArray("X0401"));

    // Exclusive mode outlives the descriptor while anyone else holds the
    // device, as the far side of a pseudo-terminal does.
    QVERIFY(pty.slaveExclusive());
    first.close();
    QVERIFY(!pty.slaveExclusive());
    QCOMPARE(second.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
    // Opened again, the object lets go of its first handle and the lock on it.
    QCOMPARE(second.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
}

// Not proven here: that close() gives a stalled queue only its short time
// and then drops it. A pseudo-terminal's output queue always reads empty, so
// a close() that waited without limit would pass; tools/vm-test.sh proves it
// on a 16550 whose queue is full.
void tst_SerialPort::closeIsSafeAfterFailureAndTwice()
{
    SerialPort failed;
    QCOMPARE(failed.open("/nonexistent/port", 9600, 8, 1, 0), -1);
    failed.close();
    failed.close();
    QVERIFY(!failed.isOpen());

    Pty pty;
    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
    port.close();
    port.close();
    QVERIFY(!port.isOpen());
    QVERIFY(!port.write("X0100"));
}

void tst_SerialPort::destructorReleasesThePort()
{
    Pty pty;
    {
        SerialPort port;
        QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
    }
    SerialPort again;
    QCOMPARE(again.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
}

void tst_SerialPort::boundedWriteWhenNobodyReads()
{
    Pty pty;
    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);

    // Fill the pseudo-terminal's buffer; the write must give up, not hang.
    const QByteArray chunk(4096, 'A');
    QElapsedTimer clock;
    clock.start();
    bool ok = true;
    for (int i = 0; i < 1000 && ok; ++i)
        ok = port.write(chunk.constData());
    QVERIFY(!ok);
    QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()).constData());
}

void tst_SerialPort::writeFailsWhenTheDeviceVanishes()
{
    Pty pty;
    SerialPort port;
    QCOMPARE(port.open(pty.slavePath.constData(), 9600, 8, 1, 0), 0);
    // The slave of a closed master fails with EIO, as an unplugged adapter does.
    pty.closeMaster();
    QVERIFY(!port.write("X0100"));
    QCOMPARE(port.systemError(), EIO);
    QCOMPARE(port.reason(), SerialPort::Reason::NoDevice);
}

QTEST_GUILESS_MAIN(tst_SerialPort)
#include "tst_serialport.moc"
