// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/commands.h"
#include "link/linkstate.h"
#include "link/linewriter.h"
#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "serialport.h"
#include "testsupport.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QImage>
#include <QInputDialog>
#include <QPixmap>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QToolTip>

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>


// What the operator's controls send down the line, read on the far side of
// a pseudo-terminal that the stored settings name as the port.
class tst_DeviceCommands : public QObject
{
    Q_OBJECT

private slots:
    void brightnessLevel_data();
    void brightnessLevel();
    void commandTexts();
    void linkIndicator_data();
    void linkIndicator();
    void portWatch_data();
    void portWatch();
    void pacing_data();
    void pacing();

    void init();
    void cleanup();
    void showClicks_data();
    void showClicks();
    void sliderSteps_data();
    void sliderSteps();
    void dragSendsOneCommandPerStep();
    void offChangesNothingOnScreen();
    void noPortWarnsForEveryUse();
    void openFailureSaysWhy_data();
    void openFailureSaysWhy();
    void closingTheWindowClosesThePort();
    void portBoxGoesOnceThePortIsThere_data();
    void portBoxGoesOnceThePortIsThere();
    void statusBarShowsWhatFits_data();
    void statusBarShowsWhatFits();
    void burstAtLineRate();
    void stalledLineResumes();
    void repeatGuard();

private:
    void startWindow();

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

void tst_DeviceCommands::brightnessLevel_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("described"); // as zentrel-sim rounds it

    QTest::newRow("top") << 0 << 255 << QByteArray("X02FF") << "Brightness 100%";
    QTest::newRow("one step down") << 1 << 252 << QByteArray("X02FC") << "Brightness 99%";
    QTest::newRow("middle") << 50 << 126 << QByteArray("X027E") << "Brightness 49%";
    QTest::newRow("one above bottom") << 98 << 2 << QByteArray("X0202") << "Brightness 1%";
    QTest::newRow("bottom is never 0") << 99 << 1 << QByteArray("X0201") << "Brightness 0%";
}

void tst_DeviceCommands::brightnessLevel()
{
    QFETCH(int, value);
    QFETCH(int, level);
    QFETCH(QByteArray, command);
    QFETCH(QString, described);
    QCOMPARE(Commands::brightnessLevel(value, 99), level);
    QCOMPARE(Commands::brightness(level), command);
    QCOMPARE(LinkState::describe(command, {}), described);
}

void tst_DeviceCommands::commandTexts()
{
    QCOMPARE(Commands::startShow(0), QByteArray("X0401"));
    QCOMPARE(Commands::startShow(9), QByteArray("X040A"));
    QCOMPARE(Commands::startShow(127), QByteArray("X0480"));
    QCOMPARE(QByteArray(Commands::off), QByteArray("X0100"));
    for (int value = 0; value <= 99; ++value) {
        const int level = Commands::brightnessLevel(value, 99);
        QVERIFY(level >= 1 && level <= 255);
        QCOMPARE(Commands::brightness(level).size(), 5);
    }

    QStringList names;
    for (int id = 0; id < 128; ++id)
        names << QStringLiteral("Show %1").arg(id + 1);
    names[36] = QStringLiteral("Act 1, scene 5");
    QCOMPARE(LinkState::describe("X0425", names), QString::fromUtf8("Show 37 · Act 1, scene 5"));
    QCOMPARE(LinkState::describe("X0480", names), QStringLiteral("Show 128"));
    QCOMPARE(LinkState::describe(Commands::off, names), QStringLiteral("Off"));
    QCOMPARE(LinkState::sentLine("Off", QTime(20, 15, 5), QString()), QString::fromUtf8("Sent: Off · 20:15:05"));
}

void tst_DeviceCommands::linkIndicator_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("stalled");
    QTest::addColumn<QString>("text");
    QTest::addColumn<LinkState::Link>("link");

    QTest::newRow("open") << true << false << "Connected: COM1" << LinkState::Link::Connected;
    QTest::newRow("open, stalled") << true << true << "Not taking data: COM1" << LinkState::Link::NotTakingData;
    QTest::newRow("closed") << false << false << "Not connected: COM1" << LinkState::Link::NotConnected;
    // Lost while stalled: the stall went with the port.
    QTest::newRow("closed, was stalled") << false << true << "Not connected: COM1" << LinkState::Link::NotConnected;
}

void tst_DeviceCommands::linkIndicator()
{
    QFETCH(bool, open);
    QFETCH(bool, stalled);
    QFETCH(QString, text);
    QFETCH(LinkState::Link, link);
    const LinkState::Indicator shown = LinkState::indicator(open, stalled, QStringLiteral("COM1"));
    QCOMPARE(shown.text, text);
    QCOMPARE(shown.link, link);
}

void tst_DeviceCommands::portWatch_data()
{
    using Reason = SerialPort::Reason;
    using Watch = LinkState::Watch;
    QTest::addColumn<bool>("present");
    QTest::addColumn<SerialPort::Reason>("lastFailure");
    QTest::addColumn<LinkState::Watch>("watch");

    QTest::newRow("missing") << false << Reason::NoDevice << Watch::Look;
    QTest::newRow("missing, was busy") << false << Reason::Busy << Watch::Look;
    QTest::newRow("back after missing or lost") << true << Reason::None << Watch::Open;
    QTest::newRow("node there, device not") << true << Reason::NoDevice << Watch::Look;
    QTest::newRow("in use by another program") << true << Reason::Busy << Watch::WaitForOperator;
    QTest::newRow("permission denied") << true << Reason::PermissionDenied << Watch::WaitForOperator;
    QTest::newRow("not a serial device") << true << Reason::NotSerial << Watch::WaitForOperator;
}

void tst_DeviceCommands::portWatch()
{
    QFETCH(bool, present);
    QFETCH(SerialPort::Reason, lastFailure);
    QFETCH(LinkState::Watch, watch);
    QCOMPARE(LinkState::watch(present, lastFailure), watch);
}

void tst_DeviceCommands::pacing_data()
{
    QTest::addColumn<int>("busyUs"); // the line still sending for this long
    QTest::addColumn<QByteArrayList>("chosen");
    QTest::addColumn<int>("taken"); // bytes the port takes of the first write; -1: all
    QTest::addColumn<QStringList>("writes"); // "microseconds bytes"

    QTest::newRow("idle line") << 0 << QByteArrayList { "X0425" } << -1 << QStringList { "0 X0425" };
    QTest::newRow("busy line") << 3000 << QByteArrayList { "X0425" } << -1 << QStringList { "1959 X0425" };
    QTest::newRow("brightness replaces brightness")
        << 3000 << QByteArrayList { "X02FF", "X027E", "X0201" } << -1 << QStringList { "1959 X0201" };
    QTest::newRow("show after a waiting brightness")
        << 3000 << QByteArrayList { "X027E", "X0425" } << -1 << QStringList { "1959 X027E", "7167 X0425" };
    QTest::newRow("Off after a drag")
        << 0 << QByteArrayList { "X02FC", "X02F9", "X02F6", "X0201", "X0100" } << -1
        << QStringList { "0 X02FC", "4167 X0201", "9375 X0100" };
    // Ten bits a byte at 9600 baud: the rest goes when the port takes it, the
    // next command when the line has one byte of the frame left.
    QTest::newRow("partial write completed later")
        << 0 << QByteArrayList { "X02E5", "X0401" } << 2 << QStringList { "0 X0", "1000 2E5", "4167 X0401" };
    // A long stall: the oldest overridden show or brightness gives way, never
    // an Off, and the player still ends as the window shows.
    QTest::newRow("bounded, Off kept")
        << 3000
        << QByteArrayList { "X0401", "X0100", "X0402", "X0100", "X0201", "X0100",
                            "X0403", "X0100", "X0202", "X0100", "X0404" }
        << -1
        << QStringList { "1959 X0100", "7167 X0201", "12375 X0100", "17583 X0403",
                         "22791 X0100", "27999 X0202", "33207 X0100", "38415 X0404" };
}

void tst_DeviceCommands::pacing()
{
    QFETCH(int, busyUs);
    QFETCH(QByteArrayList, chosen);
    QFETCH(int, taken);
    QFETCH(QStringList, writes);

    LineQueue queue;
    queue.lineFreeAt = busyUs;
    qint64 now = 0;
    QStringList done;
    for (const QByteArray &command : chosen) {
        queue.add(command);
        QVERIFY(queue.waiting.size() <= LineQueue::maxWaiting);
        // The writer writes whatever is due whenever a command comes.
        for (QByteArray bytes = queue.due(now); !bytes.isEmpty(); bytes = queue.due(now)) {
            const int n = taken >= 0 && done.isEmpty() ? taken : int(bytes.size());
            done << QString::number(now) + ' ' + QString::fromLatin1(bytes.left(n));
            queue.took(now, n);
            if (n < bytes.size())
                now += 1000; // writable again a millisecond later
        }
    }
    while (!queue.idle() && done.size() < 20) {
        const QByteArray bytes = queue.due(now);
        if (bytes.isEmpty()) {
            now = queue.nextAt();
            continue;
        }
        done << QString::number(now) + ' ' + QString::fromLatin1(bytes);
        queue.took(now, bytes.size());
    }
    QCOMPARE(done, writes);
}

void tst_DeviceCommands::init()
{
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
}

void tst_DeviceCommands::cleanup()
{
    mWindow.reset();
    mPty.reset();
    mSettings.reset();
}

void tst_DeviceCommands::startWindow()
{
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_DeviceCommands::showClicks_data()
{
    QTest::addColumn<int>("show");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("show 1") << 1 << QByteArray("X0401");
    QTest::newRow("show 37 on page 2") << 37 << QByteArray("X0425");
    QTest::newRow("show 100 on page 4") << 100 << QByteArray("X0464");
    QTest::newRow("show 128") << 128 << QByteArray("X0480");
}

void tst_DeviceCommands::showClicks()
{
    QFETCH(int, show);
    QFETCH(QByteArray, bytes);
    startWindow();
    mWindow->mTabber->setCurrentIndex((show - 1) / 32);
    QRadioButton *button = showButton(*mWindow, show - 1);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 10));
    QVERIFY(button->isChecked());
    QCOMPARE(mPty->read(), bytes);
}

void tst_DeviceCommands::sliderSteps_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("said"); // by the tooltip and to a screen reader
    QTest::newRow("middle") << 50 << QByteArray("X027E") << "Brightness 49%";
    QTest::newRow("98") << 98 << QByteArray("X0202") << "Brightness 1%";
    QTest::newRow("bottom") << 99 << QByteArray("X0201") << "Brightness 0%";
}

void tst_DeviceCommands::sliderSteps()
{
    QFETCH(int, value);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, said);
    startWindow();
    QSlider *slider = mWindow->mBrightSlider;
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(slider);
    QVERIFY(accessible);
    QCOMPARE(slider->toolTip(), QStringLiteral("Brightness 100%"));

    // Dragged there by hand: the tooltip follows while it moves.
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.upsideDown = !slider->invertedAppearance();
    option.tickPosition = slider->tickPosition();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    QTest::mousePress(slider, Qt::LeftButton, {}, handle.center());
    slider->setSliderPosition(value);
    QCOMPARE(mPty->read(), bytes);
    QCOMPARE(slider->toolTip(), said);
    QCOMPARE(accessible->text(QAccessible::Description), said);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), said);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, handle.center());
    QToolTip::hideText();

    slider->setValue(0);
    QCOMPARE(mPty->read(), QByteArray("X02FF"));
    QCOMPARE(accessible->text(QAccessible::Description), QStringLiteral("Brightness 100%"));
}

void tst_DeviceCommands::dragSendsOneCommandPerStep()
{
    startWindow();
    QSlider *slider = mWindow->mBrightSlider;
    slider->setFocus();
    // A command's line time apart, as a person presses keys.
    QTest::keyClick(slider, Qt::Key_Down);
    QTest::qWait(10);
    QTest::keyClick(slider, Qt::Key_Down);
    QTest::qWait(10);
    QTest::keyClick(slider, Qt::Key_PageDown);
    QCOMPARE(mPty->read(), QByteArray("X02FC" "X02F9" "X02E0"));
}

void tst_DeviceCommands::offChangesNothingOnScreen()
{
    startWindow();
    showButton(*mWindow, 40)->click();
    mWindow->mBrightSlider->setValue(30);
    mPty->read();
    mWindow->mOffButton->click();
    QCOMPARE(mPty->read(), QByteArray("X0100"));
    QVERIFY(showButton(*mWindow, 40)->isChecked());
    QCOMPARE(mWindow->mBrightSlider->value(), 30);
}

void tst_DeviceCommands::noPortWarnsForEveryUse()
{
    // The stored port is a path that is no port: the warning comes before
    // the window is shown, then every use of a control says so again.
    mSettings->store(QStringLiteral("serialPort"), QStringLiteral("/nonexistent/ttyUSB0"));
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click("OK"));
    mWindow = std::make_unique<LumivaneMainWindow>();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Lumivane"));
    QCOMPARE(answerer.seen[0].text, QStringLiteral("Could not open serial port /nonexistent/ttyUSB0"));
    QVERIFY(!answerer.seen[0].ownerVisible);

    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    // The box comes once the control is done with the event; each is
    // answered before the next use, as it must be on screen.
    for (int i = 0; i < 3; ++i)
        answerer.then(ModalAnswerer::click("OK"));
    showButton(*mWindow, 3)->click();
    QTRY_COMPARE(answerer.seen.size(), 2);
    mWindow->mBrightSlider->setValue(7);
    QTRY_COMPARE(answerer.seen.size(), 3);
    mWindow->mOffButton->click();
    QTRY_COMPARE(answerer.seen.size(), 4);
    // The grid stays on the show last sent, none yet: the player never got
    // show 4. The slider still moves.
    QCOMPARE(showButton(*mWindow, 0)->group()->checkedId(), -1);
    QCOMPARE(mWindow->mBrightSlider->value(), 7);

    // Two steps before the box is up share it: never two boxes at once.
    QSlider *slider = mWindow->mBrightSlider;
    answerer.then(ModalAnswerer::click("OK"));
    slider->setValue(1);
    slider->setValue(0);
    QTRY_COMPARE(answerer.seen.size(), 5);

    // A press on the groove below the handle pages the slider once, with one
    // box; the release comes while the box is up, and the slider must not
    // page on by itself.
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.tickPosition = slider->tickPosition();
    const QRect grooveRect = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                             QStyle::SC_SliderGroove, slider);
    // Through the window, as the system delivers them, so that the box
    // really blocks the release.
    QWindow *window = mWindow->windowHandle();
    const QPoint groove = slider->mapTo(mWindow.get(),
                                        QPoint(grooveRect.center().x(), grooveRect.bottom() - 10));
    answerer.then([window, groove](QWidget *box) {
        QTest::mouseRelease(window, Qt::LeftButton, {}, groove);
        ModalAnswerer::click("OK")(box);
    });
    QTest::mousePress(window, Qt::LeftButton, {}, groove);
    QTRY_COMPARE(answerer.seen.size(), 6);
    QTest::qWait(700); // past the slider's auto-repeat delay
    QCOMPARE(answerer.seen.size(), 6);
    QCOMPARE(slider->value(), slider->pageStep());

    for (int i = 1; i < 6; ++i) {
        QCOMPARE(answerer.seen[i].title, QStringLiteral("Lumivane"));
        QCOMPARE(answerer.seen[i].text, QStringLiteral("No serial port selected"));
        QCOMPARE(answerer.seen[i].informativeText,
                 QStringLiteral("The chosen port is /nonexistent/ttyUSB0. ") + answerer.seen[0].informativeText);
    }
    QCOMPARE(mWindow->linkText(), QStringLiteral("Not connected: /nonexistent/ttyUSB0"));
    QCOMPARE(mWindow->panel().linkReason(), answerer.seen[0].informativeText);
}

void tst_DeviceCommands::openFailureSaysWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("why");
    QTest::newRow("missing device") << "missing" << "There is no such device.";
    QTest::newRow("held by another program") << "held" << "in use by another program";
    QTest::newRow("regular file") << "file" << "not a serial device";
    QTest::newRow("directory") << "dir" << "not a serial device";
}

void tst_DeviceCommands::openFailureSaysWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, why);

    QTemporaryDir dir;
    QString port = dir.filePath(QStringLiteral("gone"));
    SerialPort holder;
    const QByteArray content("not a port\n");
    if (kind == "held") {
        port = QString::fromLocal8Bit(mPty->slavePath);
        QCOMPARE(holder.open(mPty->slavePath.constData(), 9600, 8, 1, 0), 0);
    } else if (kind == "file") {
        port = dir.filePath(QStringLiteral("notes.txt"));
        QFile file(port);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else if (kind == "dir") {
        port = dir.path();
    }
    mSettings->store(QStringLiteral("serialPort"), port);

    ModalAnswerer answerer;
    mWindow = std::make_unique<LumivaneMainWindow>();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, QStringLiteral("Could not open serial port ") + port);
    QVERIFY2(answerer.seen[0].informativeText.contains(why), qPrintable(answerer.seen[0].informativeText));

    if (kind == "file") {
        QFile file(port);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
    if (kind == "missing")
        QVERIFY(!QFile::exists(port));
}

void tst_DeviceCommands::closingTheWindowClosesThePort()
{
    startWindow();
    // Held while the window lives.
    SerialPort other;
    QCOMPARE(other.open(mPty->slavePath.constData(), 9600, 8, 1, 0), -1);
    mWindow->close();
    mWindow.reset();
    QVERIFY(!mPty->slaveExclusive());
    QCOMPARE(other.open(mPty->slavePath.constData(), 9600, 8, 1, 0), 0);
}

void tst_DeviceCommands::portBoxGoesOnceThePortIsThere_data()
{
    QTest::addColumn<bool>("atStart"); // else the box of a click
    QTest::newRow("the box at start") << true;
    QTest::newRow("the box of a click") << false;
}

// A box that says the port is not open closes by itself once it is, as a
// command from the timetable opens it; nothing is sent for its OK.
void tst_DeviceCommands::portBoxGoesOnceThePortIsThere()
{
    QFETCH(bool, atStart);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("adapter"));
    mSettings->store(QStringLiteral("serialPort"), link);
    std::optional<Outcome> reply;
    bool closedForIt = false;
    const auto plugInAndStart = [&](QWidget *box) {
        QVERIFY(QFile::link(QString::fromLocal8Bit(mPty->slavePath), link));
        if (mWindow)
            reply = mWindow->panel().dispatch(Command::show(12), Source::timetable(4, {}, false));
        // Bounds the wait should it stay.
        QTimer::singleShot(10000, box, [box, &closedForIt] {
            closedForIt = true;
            static_cast<QDialog *>(box)->reject();
        });
    };
    ModalAnswerer answerer;
    if (atStart) {
        answerer.then(plugInAndStart);
        mWindow = std::make_unique<LumivaneMainWindow>();
        reply = mWindow->panel().dispatch(Command::show(12), Source::timetable(4, {}, false));
        QCOMPARE(answerer.seen.value(0).text, QStringLiteral("Could not open serial port ") + link);
    } else {
        answerer.then(ModalAnswerer::click("OK")).then(plugInAndStart);
        mWindow = std::make_unique<LumivaneMainWindow>();
        mWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
        showButton(*mWindow, 3)->click();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), 2, 15000);
        QCOMPARE(answerer.seen[1].text, QStringLiteral("No serial port selected"));
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }
    QVERIFY(!closedForIt);
    QVERIFY(reply && reply->queued());
    QCOMPARE(mPty->read(), QByteArray("X040C"));
    QVERIFY(showButton(*mWindow, 11)->isChecked());
    QCOMPARE(mWindow->linkText(), QStringLiteral("Connected: ") + link);
}

namespace {

// A line of the status bar as the operator meets it: shown, with room for
// what it shows, which is the whole line or its start cut with "…", the
// whole then in its tooltip. start: the whole line, or as much of it as the
// test knows. Empty when so.
QString misshown(const QLabel *label, const QString &start)
{
    if (!label->isVisible())
        return label->objectName() + QStringLiteral(" hidden");
    const QString shown = label->text();
    if (label->fontMetrics().horizontalAdvance(shown) > label->contentsRect().width())
        return QStringLiteral("no room for \"%1\"").arg(shown);
    const bool whole = shown.startsWith(start) && !shown.contains(QChar(0x2026));
    const bool cut = shown.contains(QChar(0x2026)) && label->toolTip().startsWith(start);
    if (!whole && !cut)
        return QStringLiteral("\"%1\" for \"%2\", tooltip \"%3\"").arg(shown, start, label->toolTip());
    return {};
}

bool isCut(const QLabel *label)
{
    return label->text().contains(QChar(0x2026));
}

// Something is painted there: more than one colour.
bool inked(const QImage &image, const QRect &rect)
{
    const QRgb first = image.pixel(rect.topLeft());
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) != first)
                return true;
        }
    }
    return false;
}

} // namespace

void tst_DeviceCommands::statusBarShowsWhatFits_data()
{
    QTest::addColumn<QString>("showName"); // of show 3
    QTest::addColumn<QString>("portName"); // a link to the port; empty: its own path
    QTest::addColumn<int>("width");        // of the window; 0: as it opens
    QTest::addColumn<bool>("lastCommandCut");
    QTest::addColumn<bool>("linkCut");
    QTest::addColumn<bool>("messageCut");

    const QString longPort = QStringLiteral("usb-FTDI_FT232R_USB_UART_A1234567-if00-port0-behind-the-stage-left-rack");
    QTest::newRow("short texts") << QString() << QString() << 0 << false << false << false;
    QTest::newRow("long show name") << "Act 1, scene 5: the storm over the harbour, with rain and thunder"
                                    << QString() << 0 << true << false << false;
    QTest::newRow("long port name") << QString() << longPort << 0 << false << true << true;
    QTest::newRow("long port name, a wide window") << QString() << longPort << 1800 << false << false << false;
    // "*": a name the test picks, whose line on the screen is a fraction of a
    // pixel wider than its width rounded down.
    QTest::newRow("a width with a fraction") << QString() << "*" << 1000 << false << false << false;
}

// What the status bar draws: the last command, a message in its place while
// the message lasts, the link beside them all the while; a line too long for
// its room cut with "…".
void tst_DeviceCommands::statusBarShowsWhatFits()
{
    QFETCH(QString, showName);
    QFETCH(QString, portName);
    QFETCH(int, width);
    QFETCH(bool, lastCommandCut);
    QFETCH(bool, linkCut);
    QFETCH(bool, messageCut);

    QTemporaryDir dir;
    QString port = QString::fromLocal8Bit(mPty->slavePath);
    for (int n = 1; portName == QLatin1String("*") && n < 1000; ++n) {
        const double exact = QFontMetricsF(QApplication::font()).horizontalAdvance(
            QStringLiteral("Connected: ") + dir.filePath(QStringLiteral("port%1").arg(n)));
        if (exact - std::floor(exact) > 0.05 && exact - std::floor(exact) < 0.45)
            portName = QStringLiteral("port%1").arg(n);
    }
    QVERIFY(portName != QLatin1String("*"));
    if (!portName.isEmpty()) {
        port = dir.filePath(portName);
        QVERIFY(QFile::link(QString::fromLocal8Bit(mPty->slavePath), port));
        mSettings->store(QStringLiteral("serialPort"), port);
    }
    ModalAnswerer answerer;
    if (!showName.isEmpty()) {
        const QString names = dir.filePath(QStringLiteral("names.txt"));
        QFile file(names);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Show 1\nShow 2\n" + showName.toUtf8() + "\n");
        file.close();
        mSettings->store(QStringLiteral("lastFile"), names);
        answerer.then(ModalAnswerer::click(QStringLiteral("Yes")));
    }
    startWindow();
    if (width)
        mWindow->resize(width, mWindow->height());
    mWindow->statusBar()->clearMessage();
    QStatusBar *bar = mWindow->statusBar();
    auto *message = bar->findChild<QLabel *>(QStringLiteral("message"));
    auto *lastCommand = bar->findChild<QLabel *>(QStringLiteral("lastCommand"));
    auto *link = bar->findChild<QLabel *>(QStringLiteral("link"));
    QVERIFY(message && lastCommand && link);
    const auto drawn = [bar](const QLabel *label) {
        return inked(bar->grab().toImage(), QRect(label->mapTo(bar, QPoint(0, 0)), label->size()));
    };

    showButton(*mWindow, 2)->click();
    QCOMPARE(mPty->read(), QByteArray("X0403"));
    const QString sent = QString::fromUtf8("Sent: Show 3 · ");
    QTRY_COMPARE(misshown(lastCommand, sent), QString());
    QCOMPARE(misshown(link, mWindow->linkText()), QString());
    QVERIFY(!message->isVisible());
    QCOMPARE(isCut(lastCommand), lastCommandCut);
    QCOMPARE(isCut(link), linkCut);
    QVERIFY(lastCommand->geometry().right() < link->geometry().left());
    QVERIFY(drawn(lastCommand));
    QVERIFY(drawn(link));
    // The whole of a line cut short shows under the mouse, also while
    // another window has the keyboard.
    if (QLabel *cut = lastCommandCut ? lastCommand : linkCut ? link : nullptr) {
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTest::mouseMove(cut, QPoint(10, cut->height() / 2));
        QTest::mouseMove(cut, QPoint(20, cut->height() / 2));
        QTRY_VERIFY(QToolTip::isVisible());
        QVERIFY2(QToolTip::text().startsWith(cut == link ? mWindow->linkText() : sent), qPrintable(QToolTip::text()));
        QToolTip::hideText();
    }

    // Pulled out: the answer to the next click takes the last command's place.
    mPty->closeMaster();
    showButton(*mWindow, 3)->click();
    QCOMPARE(bar->currentMessage(), QStringLiteral("Could not write to serial port ") + port);
    QTRY_COMPARE(misshown(message, bar->currentMessage()), QString());
    QVERIFY(!lastCommand->isVisible());
    QCOMPARE(misshown(link, QStringLiteral("Not connected: ")), QString());
    QCOMPARE(isCut(message), messageCut);
    QVERIFY(message->geometry().right() < link->geometry().left());
    QVERIFY(drawn(message));
    QVERIFY(drawn(link));

    // Its time over, the last command is back.
    bar->clearMessage();
    QTRY_COMPARE(misshown(lastCommand, sent), QString());
    QVERIFY(!message->isVisible());
}

void tst_DeviceCommands::burstAtLineRate()
{
    startWindow();
    LineRateReader reader(mPty->master);
    QSlider *slider = mWindow->mBrightSlider;
    for (int value = 1; value <= 99; ++value)
        slider->setValue(value);
    slider->setValue(0);
    mWindow->mOffButton->click();
    const auto last = LineRateReader::Clock::now();

    QTRY_VERIFY(!reader.commands().isEmpty() && reader.commands().last().bytes == Commands::off);
    QVERIFY(reader.waitQuiet(30, 1000));
    // Only the frame on the wire, the newest brightness and Off, however late
    // the event loop and the reader ran: a stale level queued in between
    // would be here.
    const QList<LineRateReader::Command> got = reader.commands();
    QVERIFY2(got.size() <= 4, qPrintable(QString::number(got.size())));
    QCOMPARE(got.last().bytes, QByteArray(Commands::off));
    QCOMPARE(got[got.size() - 2].bytes, QByteArray("X02FF"));
    // Three command times (15.6 ms) on an idle machine. The bound only tells
    // a backlog in the terminal, all 100 at line rate (520 ms), from a
    // loaded machine's late timers; the count above is the exact check.
    const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(got.last().at - last);
    QVERIFY2(late.count() < 400, qPrintable(QString::number(late.count())));
}

void tst_DeviceCommands::stalledLineResumes()
{
    // Opened before the program holds the terminal; fills it, as a far end
    // that stopped reading leaves it.
    const int filler = ::open(mPty->slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(filler >= 0);
    startWindow();
    fillTerminal(filler);

    QElapsedTimer longest;
    qint64 longestMs = 0;
    const auto act = [&](const std::function<void()> &action) {
        longest.start();
        action();
        longestMs = std::max(longestMs, longest.elapsed());
        QTest::qWait(20);
    };
    act([&] { showButton(*mWindow, 9)->click(); });
    act([&] { mWindow->mBrightSlider->setValue(40); });
    act([&] { mWindow->mOffButton->click(); });
    act([&] { showButton(*mWindow, 19)->click(); });
    act([&] { mWindow->mBrightSlider->setValue(60); });
    // A write that waited for the line would hold each action for its full
    // second; the bound leaves a loaded machine room below that.
    QVERIFY2(longestMs < 500, qPrintable(QString::number(longestMs)));
    const QString port = QString::fromLocal8Bit(mPty->slavePath).mid(int(strlen("/dev/")));
    // On a loaded machine the terminal may free room late, a few bytes at a
    // time, each restarting the second the line must stand still: waited
    // for as long as that takes, not for a time that suits an idle machine.
    constexpr int stallWaitMs = 30000;
    QTRY_COMPARE_WITH_TIMEOUT(mWindow->linkText(), QStringLiteral("Not taking data: ") + port, stallWaitMs);
    auto *lastCommand = mWindow->statusBar()->findChild<QLabel *>(QStringLiteral("lastCommand"));
    QCOMPARE(lastCommand->text(), QString::fromUtf8("Waiting: Brightness 39% …"));
    // A menu's entries clear the status bar's message as the mouse passes.
    mWindow->fileMenu->popup(mWindow->mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(mWindow->fileMenu));
    QTest::mouseMove(mWindow->fileMenu, mWindow->fileMenu->actionGeometry(mWindow->fileMenu->actions()[2]).center());
    QTest::qWait(50);
    mWindow->fileMenu->close();
    QCOMPARE(mWindow->linkText(), QStringLiteral("Not taking data: ") + port);

    // Choosing the open port again keeps it, and what waits on it.
    ModalAnswerer answerer;
    answerer.then([](QWidget *dialog) { static_cast<QDialog *>(dialog)->accept(); });
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].className, QStringLiteral("QInputDialog"));

    LineRateReader reader(mPty->master);
    reader.setFast(true);
    const QByteArrayList expected { "X040A", Commands::brightness(Commands::brightnessLevel(40, 99)),
                                    "X0100", "X0414",
                                    Commands::brightness(Commands::brightnessLevel(60, 99)) };
    QTRY_COMPARE_WITH_TIMEOUT(reader.commands().size(), expected.size(), stallWaitMs);
    QVERIFY(reader.waitQuiet(50, 1000));
    QTest::qWait(20);
    QByteArrayList got;
    for (const LineRateReader::Command &command : reader.commands())
        got << command.bytes;
    QCOMPARE(got, expected);
    QTRY_COMPARE_WITH_TIMEOUT(mWindow->linkText(), QStringLiteral("Connected: ") + port, stallWaitMs);
    QVERIFY(lastCommand->text().startsWith(QStringLiteral("Sent: Brightness 39% · ")));

    // A second stall is reported as the first was.
    reader.setStalled(true);
    fillTerminal(filler);
    act([&] { showButton(*mWindow, 29)->click(); });
    act([&] { showButton(*mWindow, 30)->click(); });
    QTRY_COMPARE_WITH_TIMEOUT(mWindow->linkText(), QStringLiteral("Not taking data: ") + port, stallWaitMs);
    QCOMPARE(lastCommand->text(), QStringLiteral("Waiting: Show 31 …"));
    reader.setStalled(false);
    QTRY_COMPARE_WITH_TIMEOUT(mWindow->linkText(), QStringLiteral("Connected: ") + port, stallWaitMs);
    ::close(filler);
}

// A repeated start by hand is seen: the selector flashes, the status bar
// says so, and the grid stays on the show the player got last.
void tst_DeviceCommands::repeatGuard()
{
    mSettings->store(QStringLiteral("operation/repeatGuardMs"), 300);
    startWindow();
    qint64 now = 1000000;
    mWindow->panel().monotonicMs = [&now] { return now; };
    QRadioButton *show12 = showButton(*mWindow, 11);
    QRadioButton *show13 = showButton(*mWindow, 12);
    QTest::mouseClick(show12, Qt::LeftButton, {}, QPoint(5, 10));
    QCOMPARE(mPty->read(), QByteArray("X040C"));
    now += 100;
    QTest::mouseClick(show13, Qt::LeftButton, {}, QPoint(5, 10));
    QCOMPARE(mPty->read(), QByteArray("X040D"));
    now += 100;
    QTest::mouseClick(show12, Qt::LeftButton, {}, QPoint(5, 10));

    const QImage flashing = show12->grab().toImage();
    QCOMPARE(mPty->read(), QByteArray());
    QVERIFY(show13->isChecked());
    QCOMPARE(misshown(mWindow->findChild<QLabel *>(QStringLiteral("message")),
                      QStringLiteral("Show 12 was started 0.2 s ago; ignored")),
             QString());
    // The flash is the selector's background, and it ends by itself.
    const QColor amber(0xff, 0xb3, 0x00);
    const auto amberAt = [&amber](const QImage &image) {
        return QColor(image.pixel(image.width() - 2, image.height() / 2)) == amber;
    };
    QVERIFY(amberAt(flashing));
    QTRY_VERIFY(!amberAt(show12->grab().toImage()));
}

QTEST_MAIN(tst_DeviceCommands)
#include "tst_devicecommands.moc"
