// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/portlist.h"

#include <QTest>

#include <sys/stat.h>

using PortList::Found;
using PortList::Platform;

Q_DECLARE_METATYPE(QList<Found>)

// The list File, Setup Connection... offers, and what the system reports.
class tst_PortList : public QObject
{
    Q_OBJECT

private slots:
    void offer_data();
    void offer();
    void enumerationOnThisMachine();
};

namespace {

const QString ftdiById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1234567-if00-port0");

Found usb(const QString &name, const QString &stableName = QString())
{
    return { "/dev/" + name, name, "FT232R USB UART", "FTDI", stableName, true };
}

Found uart(const QString &name, bool hardware)
{
    return { "/dev/" + name, name, QString(), QString(), QString(), hardware };
}

Found com(const QString &name)
{
    return { "\\\\.\\" + name, name, "USB Serial Port", "FTDI", QString(), true };
}

const QStringList four = { "COM1", "COM2", "COM3", "COM4" };

} // namespace

void tst_PortList::offer_data()
{
    QTest::addColumn<int>("platform");
    QTest::addColumn<QList<Found>>("found");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("storedExists");
    QTest::addColumn<QStringList>("labels"); // after COM1 to COM4
    QTest::addColumn<QStringList>("values"); // after COM1 to COM4
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("typed"); // under "Other..."
    QTest::addColumn<bool>("typedExists");

    const int posix = int(Platform::Posix);
    const int windows = int(Platform::Windows);

    QTest::newRow("nothing found") << posix << QList<Found>() << "COM3" << false
                                   << QStringList() << QStringList() << 2 << QString() << false;
    QTest::newRow("adapter stored by its stable name")
        << posix << QList<Found>({ usb("ttyUSB0", ftdiById) }) << ftdiById << true
        << QStringList({ "FT232R USB UART (ttyUSB0)" }) << QStringList({ ftdiById }) << 4 << QString() << false;
    QTest::newRow("adapter stored by its device path")
        << posix << QList<Found>({ usb("ttyUSB0", ftdiById) }) << "/dev/ttyUSB0" << true
        << QStringList({ "FT232R USB UART (ttyUSB0)" }) << QStringList({ ftdiById }) << 4 << QString() << false;
    QTest::newRow("identical adapters in natural order")
        << posix << QList<Found>({ usb("ttyUSB10"), usb("ttyUSB2"), usb("ttyACM0"), usb("ttyUSB2") })
        << "/dev/ttyUSB10" << true
        << QStringList({ "FT232R USB UART (ttyACM0)", "FT232R USB UART (ttyUSB2)", "FT232R USB UART (ttyUSB10)" })
        << QStringList({ "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10" }) << 6 << QString() << false;
    QTest::newRow("stable name unplugged")
        << posix << QList<Found>() << ftdiById << false
        << QStringList({ "usb-FTDI_FT232R_USB_UART_A1234567-if00-port0 (not connected)" })
        << QStringList({ ftdiById }) << 4 << QString() << false;
    QTest::newRow("device path unplugged, another adapter in")
        << posix << QList<Found>({ usb("ttyUSB1") }) << "/dev/ttyUSB0" << false
        << QStringList({ "FT232R USB UART (ttyUSB1)", "ttyUSB0 (not connected)" })
        << QStringList({ "/dev/ttyUSB1", "/dev/ttyUSB0" }) << 5 << QString() << false;
    QTest::newRow("built-in UARTs: COM1 once, absent ones left out")
        << posix << QList<Found>({ uart("ttyS0", true), uart("ttyS5", false), uart("ttyS4", true) }) << "COM1" << false
        << QStringList({ "ttyS4" }) << QStringList({ "/dev/ttyS4" }) << 0 << QString() << false;
    QTest::newRow("pseudo-terminals left out, a stored one listed")
        << posix << QList<Found>({ uart("pts/3", true), uart("ptmx", true), uart("ttyp0", true) }) << "/dev/pts/3" << true
        << QStringList({ "pts/3" }) << QStringList({ "/dev/pts/3" }) << 4 << QString() << false;
    QTest::newRow("a pseudo-terminal found, another port stored")
        << posix << QList<Found>({ uart("pts/3", true) }) << "/dev/ttyUSB0" << false
        << QStringList({ "ttyUSB0 (not connected)" }) << QStringList({ "/dev/ttyUSB0" }) << 4 << QString() << false;
    QTest::newRow("a bare name written by hand kept")
        << posix << QList<Found>() << "ttyUSB0" << false
        << QStringList({ "ttyUSB0 (not connected)" }) << QStringList({ "ttyUSB0" }) << 4 << QString() << false;
    QTest::newRow("COM5 on Linux kept")
        << posix << QList<Found>() << "COM5" << false
        << QStringList({ "COM5 (not connected)" }) << QStringList({ "COM5" }) << 4 << QString() << false;
    QTest::newRow("Windows: a path kept")
        << windows << QList<Found>({ com("COM5") }) << "/dev/ttyUSB0" << false
        << QStringList({ "USB Serial Port (COM5)", "ttyUSB0 (not connected)" })
        << QStringList({ "COM5", "/dev/ttyUSB0" }) << 5 << QString() << false;
    QTest::newRow("stored label taken by a fixed name")
        << posix << QList<Found>() << "/dev/COM2" << true
        << QStringList({ "/dev/COM2" }) << QStringList({ "/dev/COM2" }) << 4 << QString() << false;
    QTest::newRow("Windows: COM5 and above in natural order, stored bare")
        << windows << QList<Found>({ com("COM12"), com("COM5"), com("COM3"), com("COM10") }) << "COM10" << false
        << QStringList({ "USB Serial Port (COM5)", "USB Serial Port (COM10)", "USB Serial Port (COM12)" })
        << QStringList({ "COM5", "COM10", "COM12" }) << 5 << QString() << false;
    QTest::newRow("Windows: stored port unplugged")
        << windows << QList<Found>({ com("COM5") }) << "COM7" << false
        << QStringList({ "USB Serial Port (COM5)", "COM7 (not connected)" }) << QStringList({ "COM5", "COM7" }) << 5 << QString() << false;
    // A path typed once stays offered while another port is stored.
    QTest::newRow("typed path, another port stored")
        << posix << QList<Found>() << "COM2" << false << QStringList({ "pts/7" }) << QStringList({ "/dev/pts/7" })
        << 1 << "/dev/pts/7" << true;
    QTest::newRow("typed path stored")
        << posix << QList<Found>() << "/dev/pts/7" << true << QStringList({ "pts/7" }) << QStringList({ "/dev/pts/7" })
        << 4 << "/dev/pts/7" << true;
    QTest::newRow("typed path gone, another stored by hand")
        << posix << QList<Found>({ usb("ttyUSB0") }) << "/dev/ttyUSB9" << false
        << QStringList({ "FT232R USB UART (ttyUSB0)", "/tmp/zentrel (not connected)", "ttyUSB9 (not connected)" })
        << QStringList({ "/dev/ttyUSB0", "/tmp/zentrel", "/dev/ttyUSB9" }) << 6 << "/tmp/zentrel" << false;
    QTest::newRow("typed path that a found port has")
        << posix << QList<Found>({ usb("ttyUSB0") }) << "COM1" << false
        << QStringList({ "FT232R USB UART (ttyUSB0)" }) << QStringList({ "/dev/ttyUSB0" }) << 0 << "/dev/ttyUSB0" << true;
}

void tst_PortList::offer()
{
    QFETCH(int, platform);
    QFETCH(QList<Found>, found);
    QFETCH(QString, stored);
    QFETCH(bool, storedExists);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, values);
    QFETCH(int, current);
    QFETCH(QString, typed);
    QFETCH(bool, typedExists);

    const PortList::Offer offer = PortList::offer(Platform(platform), found, stored, storedExists, typed, typedExists);
    QStringList gotLabels, gotValues;
    for (const PortList::Item &item : offer.items) {
        gotLabels << item.label;
        gotValues << item.stored;
    }
    // The last asks for a path to be typed.
    QCOMPARE(gotLabels, four + labels + QStringList({ "Other..." }));
    QCOMPARE(gotValues, four + values + QStringList({ QString() }));
    QCOMPARE(offer.current, current);
}

void tst_PortList::enumerationOnThisMachine()
{
    // Whatever this computer has: everything offered is a character device,
    // asked of the system through the module the program loads.
    const QList<Found> ports = PortList::findPorts();
    QVERIFY2(PortList::scanError().isEmpty(), qPrintable(PortList::scanError()));
    for (const Found &port : ports) {
        for (const QString &path : { port.systemLocation, port.stableName }) {
            if (path.isEmpty())
                continue;
            struct stat st {};
            QVERIFY2(stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode), qPrintable(path));
        }
    }
}

QTEST_GUILESS_MAIN(tst_PortList)
#include "tst_portlist.moc"
