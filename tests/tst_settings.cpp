#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

// What is remembered between runs, and choosing the port.
class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstRunTriesCom1AndStoresNothing();
    void setupOffersThePorts_data();
    void setupOffersThePorts();
    void setupOpensTheAdapterFoundByItsStableName();
    void cancelledSetupChangesNothing();
    void chosenPortIsStoredEvenWhenItFails();
    void reopeningClosesTheOldPortFirst();
    void nextStartOpensTheStoredPort();
    void switchesAreReadStrictly_data();
    void switchesAreReadStrictly();

private:
    struct PortDialog
    {
        QString label;
        QStringList items;
        QString current;
        bool editable = true;
    };
    static ModalAnswerer::Answer choosePort(const QString &port, PortDialog *seen = nullptr);

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

void tst_Settings::init()
{
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
}

void tst_Settings::cleanup()
{
    mWindow.reset();
    mPty.reset();
    mSettings.reset();
}

ModalAnswerer::Answer tst_Settings::choosePort(const QString &port, PortDialog *seen)
{
    return [=](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        if (seen) {
            seen->label = dialog->labelText();
            seen->items = dialog->comboBoxItems();
            seen->current = dialog->textValue();
            seen->editable = dialog->isComboBoxEditable();
        }
        if (port.isEmpty()) {
            dialog->reject();
        } else {
            dialog->setTextValue(port);
            dialog->accept();
        }
    };
}

void tst_Settings::firstRunTriesCom1AndStoresNothing()
{
    REQUIRE_COVERED_PORTS();
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, QStringLiteral("Could not open serial port COM1"));
    QVERIFY(!answerer.seen[0].ownerVisible);
    QVERIFY(!QFile::exists(mSettings->fileName()));
}

void tst_Settings::setupOffersThePorts_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("preselected");
    // The pseudo-terminal's path, listed after the four under its short name.
    QTest::newRow("device path") << QString() << QString();
    // Kept as stored, so that OK does not replace it unasked.
    QTest::newRow("unknown name") << "COM7" << "COM7 (not connected)";
    QTest::newRow("lower case is not COM3") << "com3" << "com3 (not connected)";
}

void tst_Settings::setupOffersThePorts()
{
    QFETCH(QString, stored);
    QFETCH(QString, preselected);
    const QString pty = QString::fromLocal8Bit(mPty->slavePath);
    QStringList items = { "COM1", "COM2", "COM3", "COM4" };
    if (stored.isEmpty())
        preselected = pty.mid(int(strlen("/dev/")));
    items << preselected;
    // The stored port stays open: it is only replaced when a choice is made.
    mSettings->store(QStringLiteral("serialPort"), stored.isEmpty() ? pty : stored);
    ModalAnswerer answerer;
    if (!stored.isEmpty())
        answerer.then(ModalAnswerer::click("OK"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->findPorts = [] { return QList<PortList::Found>(); };

    PortDialog seen;
    answerer.then(choosePort(QString(), &seen));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.constLast().className, QStringLiteral("QInputDialog"));
    QCOMPARE(answerer.seen.constLast().title, QStringLiteral("Lumivane"));
    QCOMPARE(seen.label, QStringLiteral("Select the Zentrel serial port"));
    QCOMPARE(seen.items, items);
    QCOMPARE(seen.current, preselected);
    QVERIFY(!seen.editable);
}

void tst_Settings::setupOpensTheAdapterFoundByItsStableName()
{
    // A pseudo-terminal stands in for a USB adapter, reached as udev makes
    // it reachable: a device node and a by-id link.
    Pty adapter;
    QTemporaryDir dev;
    const QString node = dev.filePath(QStringLiteral("ttyUSB0"));
    const QString byId = dev.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A1234567-if00-port0"));
    QVERIFY(QFile::link(QString::fromLocal8Bit(adapter.slavePath), node));
    QVERIFY(QFile::link(node, byId));

    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->findPorts = [=] {
        return QList<PortList::Found>({ { node, "ttyUSB0", "FT232R USB UART", "FTDI", byId, true } });
    };

    PortDialog seen;
    answerer.then(choosePort(QStringLiteral("FT232R USB UART (ttyUSB0)"), &seen));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(seen.items.at(4), QStringLiteral("FT232R USB UART (ttyUSB0)"));
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), byId);
    showButton(*mWindow, 36)->click();
    QCOMPARE(adapter.read(), QByteArray("X0425"));
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_Settings::cancelledSetupChangesNothing()
{
    const QString path = QString::fromLocal8Bit(mPty->slavePath);
    mSettings->store(QStringLiteral("serialPort"), path);
    mSettings->store(QStringLiteral("lastFile"), QString());
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    answerer.then(choosePort(QString()));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), path);
    showButton(*mWindow, 5)->click();
    QCOMPARE(mPty->read(), QByteArray("X0406"));
}

void tst_Settings::chosenPortIsStoredEvenWhenItFails()
{
    REQUIRE_COVERED_PORTS();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();

    answerer.then(choosePort(QStringLiteral("COM2"))).then(ModalAnswerer::click("OK"));
    mWindow->fileSetupAction->trigger();
    QTRY_COMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen[1].text, QStringLiteral("Could not open serial port COM2"));
    // Only the port is written: no name file was loaded or saved in this run.
    QSettings stored = TemporarySettings::open();
    QCOMPARE(stored.value("serialPort").toString(), QStringLiteral("COM2"));
    QVERIFY(!stored.contains("lastFile"));

    // The old port was closed; none is open now.
    answerer.then(ModalAnswerer::click("OK"));
    showButton(*mWindow, 0)->click();
    QTRY_COMPARE(answerer.seen.size(), 3);
    QCOMPARE(answerer.seen.constLast().text, QStringLiteral("No serial port selected"));
    QCOMPARE(mPty->read(), QByteArray());

    // The next start tries the stored port again.
    mWindow.reset();
    answerer.then(ModalAnswerer::click("OK"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    QCOMPARE(answerer.seen.constLast().text, QStringLiteral("Could not open serial port COM2"));
}

void tst_Settings::reopeningClosesTheOldPortFirst()
{
    Com1AsPty com1(mPty->slavePath);
    if (!com1.mounted)
        QSKIP(qPrintable(QStringLiteral("needs the private mount namespace of the test launcher, as root: ") + qt_error_string(errno)));
    mSettings->store(QStringLiteral("serialPort"), QStringLiteral("COM1"));
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    QVERIFY(answerer.seen.isEmpty());

    // The same port again is kept open; another port would be opened only
    // after the old handle, which holds its device exclusively, was closed.
    answerer.then(choosePort(QStringLiteral("COM1")));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(mPty->read(), QByteArray());
    showButton(*mWindow, 127)->click();
    QCOMPARE(mPty->read(), QByteArray("X0480"));
}

void tst_Settings::nextStartOpensTheStoredPort()
{
    Com1AsPty com1(mPty->slavePath);
    if (!com1.mounted)
        QSKIP(qPrintable(QStringLiteral("needs the private mount namespace of the test launcher, as root: ") + qt_error_string(errno)));
    mSettings->store(QStringLiteral("serialPort"), QStringLiteral("COM3"));
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click("OK"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    answerer.then(choosePort(QStringLiteral("COM1")));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 2);
    mWindow.reset();

    mWindow = std::make_unique<LumivaneMainWindow>();
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(mPty->read(), QByteArray());
    mWindow->mOffButton->click();
    QCOMPARE(mPty->read(), QByteArray("X0100"));
}

void tst_Settings::switchesAreReadStrictly_data()
{
    QTest::addColumn<QByteArray>("enabled");
    QTest::addColumn<QByteArray>("others");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("message");
    QTest::newRow("as the program writes it") << QByteArray("true") << QByteArray("false") << true << QString();
    QTest::newRow("yes") << QByteArray("yes") << QByteArray("no") << true << QString();
    QTest::newRow("On in capitals") << QByteArray("On") << QByteArray("OFF") << true << QString();
    QTest::newRow("1") << QByteArray("1") << QByteArray("0") << true << QString();
    QTest::newRow("no") << QByteArray("no") << QByteArray() << false << QString();
    QTest::newRow("Off") << QByteArray("Off") << QByteArray() << false << QString();
    QTest::newRow("0") << QByteArray("0") << QByteArray() << false << QString();
    QTest::newRow("neither on nor off") << QByteArray("maybe") << QByteArray("2") << false
        << QStringLiteral("Settings: remote/enabled=maybe is not on or off; taken as off; "
                          "remote/fromOtherComputers=2 is not on or off; taken as off");
    QTest::newRow("a list") << QByteArray("yes, please") << QByteArray() << false
        << QStringLiteral("Settings: remote/enabled=yes, please is not on or off; taken as off");
}

// A file edited by hand: a plain "no" must keep remote control off, and a
// word that is neither on nor off keeps it off too, and says so.
void tst_Settings::switchesAreReadStrictly()
{
    QFETCH(QByteArray, enabled);
    QFETCH(QByteArray, others);
    QFETCH(bool, listening);
    QFETCH(QString, message);
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    QDir().mkpath(QFileInfo(mSettings->fileName()).path());
    QFile file(mSettings->fileName());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\nserialPort=" + mPty->slavePath + "\n[remote]\nenabled=" + enabled
               + "\nport=" + QByteArray::number(port) + "\n");
    if (!others.isEmpty())
        file.write("fromOtherComputers=" + others + "\n");
    file.close();

    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    QVERIFY(answerer.seen.isEmpty());
    QCOMPARE(mWindow->statusBar()->currentMessage(), message);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QCOMPARE(client.waitForConnected(2000), listening);
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
