// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>

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
    void setupTakesATypedPath();
    void cancelledSetupChangesNothing();
    void chosenPortIsStoredEvenWhenItFails();
    void reopeningClosesTheOldPortFirst();
    void nextStartOpensTheStoredPort();
    void operationOptionsLastOverARestart();

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
    QTest::addColumn<bool>("typed"); // the pseudo-terminal's path was typed under "Other..." before
    // The pseudo-terminal's path, listed after the four under its short name.
    QTest::newRow("device path") << QString() << QString() << false;
    // Kept as stored, so that OK does not replace it unasked.
    QTest::newRow("unknown name") << "COM7" << "COM7 (not connected)" << false;
    QTest::newRow("lower case is not COM3") << "com3" << "com3 (not connected)" << false;
    QTest::newRow("a path typed before, another port stored") << "COM7" << "COM7 (not connected)" << true;
}

void tst_Settings::setupOffersThePorts()
{
    QFETCH(QString, stored);
    QFETCH(QString, preselected);
    QFETCH(bool, typed);
    const QString pty = QString::fromLocal8Bit(mPty->slavePath);
    QStringList items = { "COM1", "COM2", "COM3", "COM4" };
    if (stored.isEmpty())
        preselected = pty.mid(int(strlen("/dev/")));
    if (typed) {
        items << pty.mid(int(strlen("/dev/")));
        mSettings->store(QStringLiteral("otherPort"), pty);
    }
    items << preselected << "Other...";
    // The stored port stays open: it is only replaced when a choice is made.
    mSettings->store(QStringLiteral("serialPort"), stored.isEmpty() ? pty : stored);
    ModalAnswerer answerer;
    if (!stored.isEmpty())
        answerer.then(ModalAnswerer::click("OK"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->panel().findPorts = [] { return QList<PortList::Found>(); };

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
    mWindow->panel().findPorts = [=] {
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

// A device Setup cannot find, such as a pseudo-terminal, is typed under
// "Other..." and stays offered once another port is chosen.
void tst_Settings::setupTakesATypedPath()
{
    REQUIRE_COVERED_PORTS();
    Pty typed;
    const QString first = QString::fromLocal8Bit(mPty->slavePath);
    const QString path = QString::fromLocal8Bit(typed.slavePath);
    mSettings->store(QStringLiteral("serialPort"), first);
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->panel().findPorts = [] { return QList<PortList::Found>(); };

    // Cancelling the path, or leaving it blank, changes nothing.
    PortDialog seen;
    answerer.then(choosePort(QStringLiteral("Other..."))).then(choosePort(QString(), &seen));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(seen.label, QStringLiteral("Device path of the Zentrel serial port"));
    QCOMPARE(seen.current, first);
    answerer.then(choosePort(QStringLiteral("Other..."))).then(choosePort(QStringLiteral("  ")));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 4);
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), first);
    showButton(*mWindow, 1)->click();
    QCOMPARE(mPty->read(), QByteArray("X0402"));

    answerer.then(choosePort(QStringLiteral("Other..."))).then(choosePort(path));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 6);
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), path);
    QCOMPARE(mSettings->stored(QStringLiteral("otherPort")).toString(), path);
    showButton(*mWindow, 2)->click();
    QCOMPARE(typed.read(), QByteArray("X0403"));
    QCOMPARE(mPty->read(), QByteArray());

    // Another port chosen (COM2, covered here: it fails), then the typed one
    // again from the list, and after a restart still.
    answerer.then(choosePort(QStringLiteral("COM2"))).then(ModalAnswerer::click("OK"));
    mWindow->fileSetupAction->trigger();
    QTRY_COMPARE(answerer.seen.size(), 8);
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), QStringLiteral("COM2"));
    answerer.then(ModalAnswerer::click("OK"));
    mWindow.reset();
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->panel().findPorts = [] { return QList<PortList::Found>(); };
    QCOMPARE(answerer.seen.size(), 9);
    const QString shortName = path.mid(int(strlen("/dev/")));
    answerer.then(choosePort(shortName, &seen));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(seen.items, QStringList({ "COM1", "COM2", "COM3", "COM4", shortName, "Other..." }));
    QCOMPARE(seen.current, QStringLiteral("COM2"));
    QCOMPARE(mSettings->stored(QStringLiteral("serialPort")).toString(), path);
    showButton(*mWindow, 3)->click();
    QCOMPARE(typed.read(), QByteArray("X0404"));
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

// Each option of File, Operation... is stored as it is changed, and the
// dialog shows it so after a restart.
void tst_Settings::operationOptionsLastOverARestart()
{
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    struct Shown
    {
        QString guard;
        QStringList guards;
        bool selectThenGo = false;
    } shown;
    const auto operation = [&shown](bool change) {
        return [&shown, change](QWidget *dialog) {
            auto *guard = dialog->findChild<QComboBox *>();
            auto *selectThenGo = dialog->findChild<QCheckBox *>();
            shown.guard = guard->currentText();
            shown.guards.clear();
            for (int i = 0; i < guard->count(); ++i)
                shown.guards << guard->itemText(i);
            shown.selectThenGo = selectThenGo->isChecked();
            if (change) {
                guard->setCurrentIndex(guard->findText(QStringLiteral("500 ms")));
                selectThenGo->setChecked(true);
            }
            static_cast<QDialog *>(dialog)->reject();
        };
    };
    answerer.then(operation(true));
    mWindow->fileOperationAction->trigger();
    QCOMPARE(shown.guards, QStringList({ "Off", "300 ms", "500 ms", "1000 ms" }));
    QCOMPARE(shown.guard, QStringLiteral("Off"));
    QVERIFY(!shown.selectThenGo);
    QCOMPARE(mSettings->stored(QStringLiteral("operation/repeatGuardMs")).toInt(), 500);
    QCOMPARE(mSettings->stored(QStringLiteral("operation/selectThenGo")).toBool(), true);
    QVERIFY(!mSettings->stored(QStringLiteral("operation/showNumbers")).isValid());
    QCOMPARE(mWindow->statusBar()->currentMessage(), QString());
    // Turned on, a click only makes ready at once, with Go there to send it.
    auto *go = mWindow->findChild<QPushButton *>(QStringLiteral("goButton"));
    QVERIFY(go && !go->isHidden());
    showButton(*mWindow, 2)->click();
    QCOMPARE(mWindow->statusBar()->currentMessage(), QStringLiteral("Ready: Show 3"));
    go->click();
    QCOMPARE(mPty->read(), QByteArray("X0403"));

    mWindow.reset();
    mWindow = std::make_unique<LumivaneMainWindow>();
    answerer.then(operation(false));
    mWindow->fileOperationAction->trigger();
    QCOMPARE(shown.guard, QStringLiteral("500 ms"));
    QVERIFY(shown.selectThenGo);

    // A time written by hand is offered as it is; one that is no time is off,
    // and said so.
    for (const QString &byHand : { QStringLiteral("750"), QStringLiteral("60000") }) {
        mWindow.reset();
        mSettings->store(QStringLiteral("operation/repeatGuardMs"), byHand);
        mWindow = std::make_unique<LumivaneMainWindow>();
        QCOMPARE(mWindow->statusBar()->currentMessage(), QString());
        answerer.then(operation(false));
        mWindow->fileOperationAction->trigger();
        QCOMPARE(shown.guard, byHand + QStringLiteral(" ms"));
    }
    mWindow.reset();
    mSettings->store(QStringLiteral("operation/repeatGuardMs"), QStringLiteral("soon"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    QCOMPARE(mWindow->statusBar()->currentMessage(),
             QStringLiteral("Settings: operation/repeatGuardMs=soon is not a number of milliseconds from 0 to "
                            "60000; taken as 0"));
    answerer.then(operation(false));
    mWindow->fileOperationAction->trigger();
    QCOMPARE(shown.guard, QStringLiteral("Off"));
    QCOMPARE(answerer.seen.size(), 5);
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
