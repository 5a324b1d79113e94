#include "link/commands.h"
#include "ending/ending.h"
#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QButtonGroup>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QWheelEvent>

#include <memory>

#include <csignal>
#include <unistd.h>

// The main window as the operator sees it: the form, and the 128 selectors.
class tst_Form : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void placeholderSlotsWarn();
    void geometryAndTexts_data();
    void geometryAndTexts();
    void menus();
    void slider();
    void initialSize();

    void gridPlacement_data();
    void gridPlacement();
    void gridStartsWithShowOneAndSendsNothing();
    void gridIsExclusiveAcrossPages();
    void clickOnCheckedShowReportsItAgain();
    void arrowKeysStayOnTheShownPage_data();
    void arrowKeysStayOnTheShownPage();
    void focusStartsOnShowOneAndEscSwitchesOff();

    void aboutBox();
    void aboutQt();
    void commandLine_data();
    void commandLine();
    void endingReleasesThePort_data();
    void endingReleasesThePort();

private:
    static QList<QRadioButton *> showButtons(const LumivaneMainWindowBase &w);

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

QList<QRadioButton *> tst_Form::showButtons(const LumivaneMainWindowBase &w)
{
    QList<QRadioButton *> buttons;
    for (int page = 0; page < w.mTabber->count(); ++page)
        buttons += w.mTabber->widget(page)->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
    return buttons;
}

void tst_Form::init()
{
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
    mWindow = std::make_unique<LumivaneMainWindow>();
}

void tst_Form::cleanup()
{
    mWindow.reset();
    mPty.reset();
    mSettings.reset();
}

void tst_Form::placeholderSlotsWarn()
{
    LumivaneMainWindowBase form;
    QCOMPARE(form.objectName(), QStringLiteral("LumivaneMainWindowBase"));
    QTest::ignoreMessage(QtWarningMsg, "LumivaneMainWindowBase::doExit(): Not implemented yet");
    form.fileExitAction->trigger();
    QTest::ignoreMessage(QtWarningMsg, "LumivaneMainWindowBase::doEditNames(): Not implemented yet");
    form.fileEditAction->trigger();
    QTest::ignoreMessage(QtWarningMsg, "LumivaneMainWindowBase::doBright(): Not implemented yet");
    form.mBrightSlider->setValue(5);
    QTest::ignoreMessage(QtWarningMsg, "LumivaneMainWindowBase::doOff(): Not implemented yet");
    form.mOffButton->click();
}

void tst_Form::geometryAndTexts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");

    QTest::newRow("slider") << "mBrightSlider" << QRect(570, 30, 40, 240) << QString() << false;
    QTest::newRow("off") << "mOffButton" << QRect(550, 280, 71, 31) << "Off" << true;
    QTest::newRow("label") << "textLabel1" << QRect(560, 0, 70, 21) << "Brightness" << true;
    QTest::newRow("tabs") << "mTabber" << QRect(0, 0, 540, 315) << QString() << false;
}

void tst_Form::geometryAndTexts()
{
    QFETCH(QString, objectName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, bold);

    auto *widget = mWindow->findChild<QWidget *>(objectName);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), QStringLiteral("qt_central_widget"));
    // In place; wider only where the text needs it in the fonts at hand.
    const QRect placed = widget->geometry();
    QCOMPARE(placed.topLeft(), geometry.topLeft());
    QCOMPARE(placed.height(), geometry.height());
    QVERIFY(placed.width() >= geometry.width());
    QCOMPARE(widget->font().bold(), bold);
    const int frame = widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(button->fontMetrics().horizontalAdvance(text) + 2 * frame <= placed.width());
    }
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        QVERIFY(label->fontMetrics().horizontalAdvance(text) <= placed.width());
    }

    // Fixed positions: a larger window moves nothing.
    mWindow->resize(1000, 800);
    QCOMPARE(widget->geometry(), placed);
}

void tst_Form::menus()
{
    QCOMPARE(mWindow->windowTitle(), QStringLiteral("Tavrolux Zentrel Lumivane"));
    QVERIFY(mWindow->statusBar());
    QCOMPARE(mWindow->menuBar(), mWindow->menubar);
    QCOMPARE(mWindow->menubar->objectName(), QStringLiteral("menubar"));

    QStringList titles;
    for (QAction *a : mWindow->menubar->actions())
        titles << a->text();
    QCOMPARE(titles, QStringList({ "File", "Edit", "Help" }));

    auto entries = [](QMenu *menu) {
        QStringList list;
        for (QAction *a : menu->actions()) {
            list << (a->isSeparator() ? QStringLiteral("--") : a->text());
            if (!a->shortcut().isEmpty())
                list << QStringLiteral("shortcut!");
        }
        return list;
    };
    QCOMPARE(entries(mWindow->fileMenu),
             QStringList({ "Setup Connection...", "Remote Control...", "Timetable...", "Journal...", "--", "Load Show Names", "Save Show Names", "--",
                           "Edit Show Names", "--", "Exit" }));
    QCOMPARE(entries(mWindow->editMenu), QStringList({ "Cut", "Copy", "Paste" }));
    QCOMPARE(entries(mWindow->helpMenu), QStringList({ "About", "About Qt" }));

    for (QAction *a : mWindow->editMenu->actions())
        QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    for (QAction *a : mWindow->fileMenu->actions())
        QVERIFY2(a->isEnabled(), qPrintable(a->text()));

    const QStringList tabs = { "Shows 1 - 32", "Shows 33 - 64", "Shows 65 - 96", "Shows 97 - 128" };
    const QStringList pages = { "tab", "tab_2", "tab_3", "tab_4" };
    QCOMPARE(mWindow->mTabber->count(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(mWindow->mTabber->tabText(i), tabs[i]);
        QCOMPARE(mWindow->mTabber->widget(i)->objectName(), pages[i]);
    }
    // Every tab at its full width, none scrolled away.
    QVERIFY(mWindow->mTabber->tabBar()->sizeHint().width() <= mWindow->mTabber->width());
}

void tst_Form::slider()
{
    QSlider *s = mWindow->mBrightSlider;
    QCOMPARE(s->orientation(), Qt::Vertical);
    QCOMPARE(s->minimum(), 0);
    QCOMPARE(s->maximum(), 99);
    QCOMPARE(s->singleStep(), 1);
    QCOMPARE(s->pageStep(), 10);
    QCOMPARE(s->value(), 0);
    QVERIFY(s->hasTracking());
    QCOMPARE(s->tickPosition(), QSlider::TicksRight);
    QCOMPARE(s->tickInterval(), 25);

    // Value 0 sits at the top of the groove, and the handle goes the way the
    // arrow key points.
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    QVERIFY(s->invertedAppearance());
    s->setFocus();
    QTest::keyClick(s, Qt::Key_Down);
    QCOMPARE(s->value(), 1);
    QTest::keyClick(s, Qt::Key_Up);
    QCOMPARE(s->value(), 0);
    // Turning the wheel towards the operator (down) moves the handle down.
    const QPointF at(s->width() / 2.0, s->height() / 2.0);
    QWheelEvent down(at, s->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(s, &down);
    QCOMPARE(s->value(), 3);
    QWheelEvent up(at, s->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(s, &up);
    QCOMPARE(s->value(), 0);
    QTest::keyClick(s, Qt::Key_End);
    QCOMPARE(s->value(), 99);
    mPty->read();
}

void tst_Form::initialSize()
{
    const QSize hint = mWindow->minimumSizeHint();
    QCOMPARE(mWindow->size(), QSize(639, 366).expandedTo(hint));

    // Shrunk as far as it goes, the window still shows every control whole.
    mWindow->show();
    mWindow->resize(100, 60);
    QCOMPARE(mWindow->size(), QSize(639, 366).expandedTo(hint));
    QWidget *central = mWindow->centralWidget();
    for (QWidget *control : central->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(central->rect().contains(control->geometry()), qPrintable(control->objectName()));
}

void tst_Form::gridPlacement_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("page");
    QTest::addColumn<QPoint>("position");

    QTest::newRow("first") << 0 << 0 << QPoint(20, 20);
    QTest::newRow("bottom of first column") << 7 << 0 << QPoint(20, 230);
    QTest::newRow("top of second column") << 8 << 0 << QPoint(160, 20);
    QTest::newRow("last of first page") << 31 << 0 << QPoint(440, 230);
    QTest::newRow("second page, second column") << 40 << 1 << QPoint(160, 20);
    QTest::newRow("third page first") << 64 << 2 << QPoint(20, 20);
    QTest::newRow("last") << 127 << 3 << QPoint(440, 230);
}

void tst_Form::gridPlacement()
{
    QFETCH(int, id);
    QFETCH(int, page);
    QFETCH(QPoint, position);

    const QList<QRadioButton *> buttons = showButtons(*mWindow);
    QCOMPARE(buttons.size(), 128);
    QRadioButton *button = buttons.at(id);
    QCOMPARE(button->parentWidget(), mWindow->mTabber->widget(page));
    QCOMPARE(button->geometry(), QRect(position, QSize(120, 20)));
    QCOMPARE(button->text(), QStringLiteral("Show %1").arg(id + 1));
    // The whole name, also where the page edge cuts the button off.
    QCOMPARE(button->toolTip(), button->text());
    QCOMPARE(button->accessibleDescription(), button->text());
    QCOMPARE(button->group()->id(button), id);
}

void tst_Form::gridStartsWithShowOneAndSendsNothing()
{
    const QList<QRadioButton *> buttons = showButtons(*mWindow);
    QVERIFY(buttons.at(0)->isChecked());
    QCOMPARE(buttons.at(0)->group()->checkedId(), 0);
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_Form::gridIsExclusiveAcrossPages()
{
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    const QList<QRadioButton *> buttons = showButtons(*mWindow);
    QSignalSpy clicked(buttons.at(0)->group(), &QButtonGroup::idClicked);

    buttons.at(4)->click();
    mWindow->mTabber->setCurrentIndex(2);
    QTest::mouseClick(buttons.at(70), Qt::LeftButton, {}, QPoint(5, 10));

    QVERIFY(buttons.at(70)->isChecked());
    for (int id = 0; id < 128; ++id)
        QCOMPARE(buttons.at(id)->isChecked(), id == 70);
    QCOMPARE(clicked.size(), 2);
    QCOMPARE(clicked.at(0).at(0).toInt(), 4);
    QCOMPARE(clicked.at(1).at(0).toInt(), 70);
    QCOMPARE(mPty->read(), QByteArray("X0405X0447"));
}

void tst_Form::clickOnCheckedShowReportsItAgain()
{
    const QList<QRadioButton *> buttons = showButtons(*mWindow);
    QSignalSpy clicked(buttons.at(0)->group(), &QButtonGroup::idClicked);
    buttons.at(0)->click();
    buttons.at(0)->click();
    QVERIFY(buttons.at(0)->isChecked());
    QCOMPARE(clicked.size(), 2);
    QCOMPARE(mPty->read(), QByteArray("X0401X0401"));
}

void tst_Form::arrowKeysStayOnTheShownPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("clicked"); // on the page
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QList<int>>("started"); // on the page

    const QList<int> around = { Qt::Key_Down, Qt::Key_Up, Qt::Key_Right, Qt::Key_Left };
    QTest::newRow("first page") << 0 << 0 << around << QList<int>({ 1, 0, 8, 0 });
    QTest::newRow("second page") << 1 << 11 << around << QList<int>({ 12, 11, 19, 11 });
    QTest::newRow("third page") << 2 << 20 << around << QList<int>({ 21, 20, 28, 20 });
    QTest::newRow("fourth page") << 3 << 30 << around << QList<int>({ 31, 30, 22 });
    const QList<int> edges = { Qt::Key_Down, Qt::Key_Right };
    QTest::newRow("first page's edges go nowhere") << 0 << 31 << edges << QList<int>();
    QTest::newRow("second page's edges go nowhere") << 1 << 31 << edges << QList<int>();
    QTest::newRow("third page's edges go nowhere") << 2 << 31 << edges << QList<int>();
    QTest::newRow("fourth page's edges go nowhere") << 3 << 31 << edges << QList<int>();
}

void tst_Form::arrowKeysStayOnTheShownPage()
{
    QFETCH(int, page);
    QFETCH(int, clicked);
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, started);

    mWindow->show();
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    mWindow->mTabber->setCurrentIndex(page);
    QRadioButton *first = showButton(*mWindow, page * 32 + clicked);
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(5, 10));
    QCOMPARE(mPty->read(), Commands::startShow(page * 32 + clicked));

    // One key at a time, as a hand presses them: the line would let a quicker
    // show replace one still waiting.
    for (const int key : keys) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QTest::qWait(10);
    }
    QByteArray expected;
    for (const int id : started)
        expected += Commands::startShow(page * 32 + id);
    QCOMPARE(mPty->read(), expected);
    auto *focus = qobject_cast<QRadioButton *>(QApplication::focusWidget());
    QVERIFY(focus);
    QVERIFY(focus->isVisible());
    QVERIFY(focus->isChecked());

    // Changing the page starts nothing; Tab lands only on what is seen, and
    // among that on a selector of the page now shown.
    const int next = (page + 1) % 4;
    mWindow->mTabber->setCurrentIndex(next);
    bool reachedPage = false;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focused = QApplication::focusWidget();
        QVERIFY2(focused->isVisible(), focused->metaObject()->className());
        reachedPage = reachedPage || focused->parentWidget() == mWindow->mTabber->widget(next);
    }
    QVERIFY(reachedPage);
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_Form::focusStartsOnShowOneAndEscSwitchesOff()
{
    mWindow->show();
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    QRadioButton *showOne = showButton(*mWindow, 0);
    QCOMPARE(QApplication::focusWidget(), showOne);
    QCOMPARE(mWindow->mOffButton->toolTip(), QStringLiteral("Off (Esc)"));

    // Selectors, slider, Off; Esc from each of them and from the tabs.
    QList<QWidget *> focused { showOne };
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        focused << QApplication::focusWidget();
    }
    QCOMPARE(focused.mid(0, 3), QList<QWidget *>({ showOne, mWindow->mBrightSlider, mWindow->mOffButton }));
    QCOMPARE(focused.at(3), mWindow->mTabber->tabBar());
    QCOMPARE(mPty->read(), QByteArray());
    for (QWidget *widget : focused) {
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Escape);
        QCOMPARE(mPty->read(), QByteArray(Commands::off));
    }
    QVERIFY(showOne->isChecked());
}

void tst_Form::aboutBox()
{
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click("OK"));
    mWindow->helpAboutAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("About Lumivane"));
    QVERIFY(answerer.seen[0].text.contains(QStringLiteral("Lumivane " LUMIVANE_VERSION)));
    QVERIFY(answerer.seen[0].text.contains(QString::fromLatin1(qVersion())));
    QVERIFY(answerer.seen[0].text.contains(QStringLiteral("GPL-3.0-or-later")));
    QVERIFY(answerer.seen[0].text.contains(QStringLiteral("Source: <a href=\"https://lumivane.org\">")));
}

void tst_Form::aboutQt()
{
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click("OK"));
    mWindow->helpAboutQtAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("About Qt"));
    QVERIFY(answerer.seen[0].text.contains(QString::fromLatin1(qVersion())));
}

void tst_Form::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("display"); // a platform that can open a window
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString usage = QStringLiteral("Usage: lumivane [-h | --help] [-v | --version] [Qt options]\n");
    const QString version = QStringLiteral("Lumivane " LUMIVANE_VERSION "\n");
    QTest::newRow("--help") << QStringList { "--help" } << true << 0 << usage << QString();
    QTest::newRow("-h") << QStringList { "-h" } << true << 0 << usage << QString();
    QTest::newRow("--version") << QStringList { "--version" } << true << 0 << version << QString();
    QTest::newRow("-v") << QStringList { "-v" } << true << 0 << version << QString();
    // Neither needs Qt's platform, let alone the window or the port.
    QTest::newRow("--help without a display") << QStringList { "--help" } << false << 0 << usage << QString();
    QTest::newRow("-v without a display") << QStringList { "-v" } << false << 0 << version << QString();
    QTest::newRow("a Qt option kept") << QStringList { "-platform", "offscreen", "-reverse", "-v" } << true << 0
                                      << version << QString();
    QTest::newRow("unknown option") << QStringList { "--bogus" } << true << 2 << QString()
                                    << "lumivane: Unknown option 'bogus'.\n" + usage;
    QTest::newRow("unknown option after a Qt one") << QStringList { "-platform", "offscreen", "-x" } << true << 2
                                                   << QString() << "lumivane: Unknown option 'x'.\n" + usage;
    QTest::newRow("an argument") << QStringList { "shows.txt" } << true << 2 << QString()
                                 << "lumivane: unexpected argument 'shows.txt'\n" + usage;
}

void tst_Form::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, display);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess lumivane;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!display) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    lumivane.setProcessEnvironment(env);
    lumivane.start(qEnvironmentVariable("LUMIVANE_BINARY"), arguments);
    // A program that went on to open its window would not end by itself.
    if (!lumivane.waitForFinished(20000)) {
        lumivane.kill();
        lumivane.waitForFinished();
        QFAIL("lumivane did not end");
    }
    QCOMPARE(lumivane.exitStatus(), QProcess::NormalExit);
    QCOMPARE(lumivane.exitCode(), status);
    const QString stdOut = QString::fromLocal8Bit(lumivane.readAllStandardOutput());
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    // Qt may say something of its own first.
    const QString stdErr = QString::fromLocal8Bit(lumivane.readAllStandardError());
    QVERIFY2(stdErr.endsWith(err), qPrintable(stdErr));
}

void tst_Form::endingReleasesThePort_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("unwinds"); // the window's destructor runs
    QTest::newRow("File, Exit, at once") << "exit" << 0 << false;
    QTest::newRow("SIGTERM") << "TERM" << 0 << true;
    QTest::newRow("SIGHUP") << "HUP" << 0 << true;
    QTest::newRow("SIGINT") << "INT" << 0 << true;
    // As Qt ends it when the X connection is lost: exit(1), no unwinding.
    QTest::newRow("exit() from the event loop") << "exit(1)" << 1 << false;
}

void tst_Form::endingReleasesThePort()
{
    // Run this test program again as a child that runs the program as main()
    // does, with edited names, and ends it this way.
    QFETCH(QString, how);
    QFETCH(int, status);
    QFETCH(bool, unwinds);
    mWindow.reset();
    Pty childPort;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMIVANE_EXIT_CHILD"), QString::fromLocal8Bit(childPort.slavePath));
    env.insert(QStringLiteral("LUMIVANE_EXIT_HOW"), how);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    // A question would wait for an answer nobody gives.
    if (!child.waitForFinished(20000)) {
        child.kill();
        child.waitForFinished();
        QFAIL("the child did not end");
    }
    const QByteArray out = child.readAllStandardOutput();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), status);
    QVERIFY2(out.contains("window up"), out.constData());
    QVERIFY2(!out.contains("after the action"), out.constData());
    QCOMPARE(out.contains("returned"), unwinds);
    // The port was let go of, not left locked for the program on its far side.
    QVERIFY(!childPort.slaveExclusive());
}

static int runExitChild(int argc, char **argv, const QByteArray &port, const QString &how)
{
    QApplication app(argc, argv);
    TemporarySettings settings;
    settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(port));
    ModalAnswerer answerer;
    QTimer::singleShot(0, &app, [&answerer, how] {
        LumivaneMainWindow *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            window = window ? window : qobject_cast<LumivaneMainWindow *>(w);
        // Names that File, Exit would ask about; no signal may.
        if (how != "exit") {
            answerer.then([](QWidget *w) {
                w->findChild<QTableWidget *>()->item(0, 0)->setText(QStringLiteral("Edited"));
                static_cast<QDialog *>(w)->accept();
            });
            window->fileEditAction->trigger();
        }
        fputs("window up\n", stdout);
        fflush(stdout);
        if (how == "exit") {
            window->fileExitAction->trigger();
            // File, Exit ends the process at once; this never runs.
            fputs("after the action\n", stdout);
        } else if (how == "exit(1)") {
            std::exit(1);
        } else {
            // Taken up by the event loop once this returns.
            kill(getpid(), how == "TERM" ? SIGTERM : how == "HUP" ? SIGHUP : SIGINT);
        }
    });
    const int result = runLumivane();
    fputs("returned\n", stdout);
    return result;
}

int main(int argc, char **argv)
{
    const QByteArray childPort = qgetenv("LUMIVANE_EXIT_CHILD");
    if (!childPort.isEmpty())
        return runExitChild(argc, argv, childPort, qEnvironmentVariable("LUMIVANE_EXIT_HOW"));
    QApplication app(argc, argv);
    tst_Form test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form.moc"
