// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

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
#include <QScopeGuard>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolTip>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
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
    void sliderFillsTheBrightness_data();
    void sliderFillsTheBrightness();
    void initialSize();
    void lockSurvivesARestart();

    void gridPlacement_data();
    void gridPlacement();
    void gridStartsWithShowOneAndSendsNothing();
    void gridIsExclusiveAcrossPages();
    void clickOnCheckedShowReportsItAgain();
    void numbersOnTheButtons_data();
    void numbersOnTheButtons();
    void arrowKeysStayOnTheShownPage_data();
    void arrowKeysStayOnTheShownPage();
    void focusStartsOnShowOneAndEscSwitchesOff();
    void selectThenGo_data();
    void selectThenGo();
    void longNamesEndInAnEllipsis_data();
    void longNamesEndInAnEllipsis();

    void aboutBox();
    void aboutQt();
    void commandLine_data();
    void commandLine();
    void endingReleasesThePort_data();
    void endingReleasesThePort();

private:
    static QList<QRadioButton *> showButtons(LumivaneMainWindow &w);

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

QList<QRadioButton *> tst_Form::showButtons(LumivaneMainWindow &w)
{
    QList<QRadioButton *> buttons;
    for (int id = 0; id < 128; ++id)
        buttons += showButton(w, id);
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
             QStringList({ "Setup Connection...", "Remote Control...", "Timetable...", "Operation...", "Lock Controls", "--",
                           "Load Show Names", "Save Show Names", "--", "Edit Show Names", "--", "Journal...", "--",
                           "Exit" }));
    QVERIFY(mWindow->fileLockAction->isCheckable());
    QVERIFY(!mWindow->fileLockAction->isChecked());
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

void tst_Form::sliderFillsTheBrightness_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("style"); // empty: the one Qt chose
    QTest::newRow("full, handle at the top") << 0 << QString();
    QTest::newRow("half") << 50 << QString();
    QTest::newRow("lowest, handle at the bottom") << 99 << QString();
    // Windows' styles draw no filled part of their own.
    QTest::newRow("half, Windows style") << 50 << QStringLiteral("Windows");
}

namespace {

// How much of a column of the picture is in the highlight's colour, from 0
// to 1: the style fills the groove in shades of it.
double highlighted(const QImage &image, int x, int top, int bottom, const QColor &highlight)
{
    int count = 0;
    for (int y = top; y <= bottom; ++y) {
        const QColor pixel = image.pixelColor(x, y);
        count += pixel.hsvSaturation() > 60 && qAbs(pixel.hsvHue() - highlight.hsvHue()) < 30;
    }
    return double(count) / (bottom - top + 1);
}

} // namespace

// The groove is filled on the side that stands for the light: from the bottom
// up to the handle, so that full looks full.
void tst_Form::sliderFillsTheBrightness()
{
    QFETCH(int, value);
    QFETCH(QString, style);
    const QString chosen = QApplication::style()->name();
    const auto restore = qScopeGuard([&chosen] { QApplication::setStyle(chosen); });
    if (!style.isEmpty()) {
        QApplication::setStyle(style);
        mWindow.reset();
        mWindow = std::make_unique<LumivaneMainWindow>();
    }
    QSlider *s = mWindow->mBrightSlider;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    s->setValue(value);
    mPty->read();

    QStyleOptionSlider option;
    option.initFrom(s);
    option.orientation = s->orientation();
    option.minimum = s->minimum();
    option.maximum = s->maximum();
    option.sliderPosition = s->sliderPosition();
    option.sliderValue = s->value();
    option.upsideDown = !s->invertedAppearance();
    option.tickPosition = s->tickPosition();
    option.tickInterval = s->tickInterval();
    option.singleStep = s->singleStep();
    option.pageStep = s->pageStep();
    option.subControls = QStyle::SC_All;
    const QRect groove = s->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, s);
    const QRect handle = s->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, s);
    const QImage image = s->grab().toImage();
    const int x = groove.center().x();
    const QColor highlight = s->palette().color(QPalette::Highlight);
    const int margin = 3;
    if (handle.bottom() + margin < groove.bottom() - margin) {
        const double below = highlighted(image, x, handle.bottom() + margin, groove.bottom() - margin, highlight);
        QVERIFY2(below > 0.8, qPrintable(QString::number(below)));
    }
    if (groove.top() + margin < handle.top() - margin) {
        const double above = highlighted(image, x, groove.top() + margin, handle.top() - margin, highlight);
        QVERIFY2(above < 0.2, qPrintable(QString::number(above)));
    }
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
    // A page's selectors are made when it is first shown, or before, when
    // one of its shows is needed; either way they are on the screen with it.
    mWindow->mTabber->setCurrentIndex(1);
    const QList<QRadioButton *> firstShown =
        mWindow->mTabber->widget(1)->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(firstShown.size(), 32);
    for (const QRadioButton *button : firstShown)
        QVERIFY(button->isVisible());
    const QList<QRadioButton *> buttons = showButtons(*mWindow);
    mWindow->mTabber->setCurrentIndex(3);
    QVERIFY(buttons.at(100)->isVisible());
    mWindow->mTabber->setCurrentIndex(0);
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

void tst_Form::numbersOnTheButtons_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown"); // as the selector's text holds it
    QTest::newRow("named") << 11 << "Vernissage" << QString::fromUtf8("12 · Vernissage");
    QTest::newRow("unnamed") << 11 << "Show 12" << "Show 12";
    QTest::newRow("blank") << 11 << "" << "12";
    QTest::newRow("a name with a number of its own") << 0 << QString::fromUtf8("2 · Encore")
                                                      << QString::fromUtf8("1 · 2 · Encore");
    QTest::newRow("ampersand") << 127 << "Rock & Roll" << QString::fromUtf8("128 · Rock && Roll");
}

// The operator's cue numbers next to the names; the tooltip and the name file
// keep the name alone.
void tst_Form::numbersOnTheButtons()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    QByteArray lines;
    for (int i = 0; i < 128; ++i)
        lines += (i == id ? name : QStringLiteral("Show %1").arg(i + 1)).toUtf8() + "\r\n";
    const QString file = dir.filePath(QStringLiteral("shows.txt"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(lines);
    }
    ModalAnswerer answerer;
    answerer.then(chooseFile(file));
    mWindow->fileLoadAction->trigger();
    QRadioButton *button = showButton(*mWindow, id);
    QCOMPARE(button->toolTip(), name);

    const auto setNumbers = [this, &answerer](bool on) {
        answerer.then([on](QWidget *w) {
            for (QCheckBox *box : w->findChildren<QCheckBox *>()) {
                if (box->text() == QStringLiteral("Show numbers on the buttons"))
                    box->setChecked(on);
            }
            w->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Close)->click();
        });
        mWindow->fileOperationAction->trigger();
    };
    setNumbers(true);
    QCOMPARE(answerer.seen.constLast().title, QStringLiteral("Operation"));
    QCOMPARE(mSettings->stored(QStringLiteral("operation/showNumbers")).toBool(), true);
    QCOMPARE(button->text(), shown);
    QCOMPARE(button->toolTip(), name);
    // Any other show that has a name gets its number too.
    QCOMPARE(showButton(*mWindow, id == 0 ? 1 : 0)->text(), QStringLiteral("Show %1").arg(id == 0 ? 2 : 1));

    // Saved as names only.
    const QString saved = dir.filePath(QStringLiteral("saved.txt"));
    answerer.then(chooseFile(saved));
    mWindow->fileSaveAction->trigger();
    QFile in(saved);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), lines);

    setNumbers(false);
    QCOMPARE(mSettings->stored(QStringLiteral("operation/showNumbers")).toBool(), false);
    QCOMPARE(button->text(), QString(name).replace(QLatin1Char('&'), QLatin1String("&&")));
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

// The lock keeps what changes settings, names or files out of reach, also
// after a restart; the shows, the slider, Off and Esc work as ever, and the
// journal can still be read.
void tst_Form::lockSurvivesARestart()
{
    const QStringList locked = { "Setup Connection...", "Remote Control...", "Timetable...", "Operation...", "Load Show Names",
                                 "Edit Show Names", "Save Show Names" };
    const QString unlock = QStringLiteral("Unlock: settings, names and the timetable can be changed again.");
    const QString tip = QStringLiteral("Locked: File, Lock Controls unlocks it");
    const auto entries = [this] {
        QHash<QString, QAction *> byText;
        for (QAction *action : mWindow->fileMenu->actions())
            byText.insert(action->text(), action);
        return byText;
    };
    mWindow->fileLockAction->trigger();
    QCOMPARE(mSettings->stored(QStringLiteral("operation/locked")).toBool(), true);
    QCOMPARE(mWindow->statusBar()->currentMessage(), QString());

    mWindow.reset();
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->show();
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    QVERIFY(mWindow->fileLockAction->isChecked());
    auto *mark = mWindow->statusBar()->findChild<QLabel *>(QStringLiteral("locked"));
    QVERIFY(mark && mark->isVisible());
    QCOMPARE(mark->text(), QStringLiteral("Locked"));
    for (QAction *action : mWindow->fileMenu->actions()) {
        if (action->isSeparator())
            continue;
        QCOMPARE(action->isEnabled(), !locked.contains(action->text()));
        QCOMPARE(action->toolTip() == tip, locked.contains(action->text()));
    }
    // The menu shows how to unlock where the pointer rests on a locked entry.
    QMenu *menu = mWindow->fileMenu;
    menu->popup(mWindow->mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    const QRect setup = menu->actionGeometry(entries().value("Setup Connection..."));
    QHelpEvent help(QEvent::ToolTip, setup.center(), menu->mapToGlobal(setup.center()));
    QApplication::sendEvent(menu, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), tip);
    menu->hide();
    QToolTip::hideText();

    // Locked out of nothing that plays.
    showButton(*mWindow, 4)->click();
    mWindow->mBrightSlider->setValue(50);
    mWindow->mOffButton->click();
    QCOMPARE(mPty->read(), QByteArray("X0405X027EX0100"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(mPty->read(), QByteArray("X0100"));

    // Unlocking asks; Cancel keeps it locked.
    ModalAnswerer answerer;
    answerer.then(ModalAnswerer::click("Cancel"));
    mWindow->fileLockAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, unlock);
    QVERIFY(mWindow->fileLockAction->isChecked());
    QVERIFY(!mWindow->fileSetupAction->isEnabled());
    QCOMPARE(mSettings->stored(QStringLiteral("operation/locked")).toBool(), true);

    // Leaving would stop the timetable: File, Exit and closing the window
    // ask the same, and Cancel stays, locked.
    answerer.then(ModalAnswerer::click("Cancel")).then(ModalAnswerer::click("Cancel"));
    mWindow->fileExitAction->trigger();
    QVERIFY(!mWindow->close());
    QCOMPARE(answerer.seen.size(), 3);
    QCOMPARE(answerer.seen[1].text, unlock);
    QCOMPARE(answerer.seen[2].text, unlock);
    QVERIFY(mWindow->isVisible());
    QVERIFY(mWindow->fileLockAction->isChecked());

    answerer.then(ModalAnswerer::click("OK"));
    mWindow->fileLockAction->trigger();
    QCOMPARE(answerer.seen.size(), 4);
    QVERIFY(!mWindow->fileLockAction->isChecked());
    QTRY_VERIFY(!mark->isVisible());
    for (QAction *action : mWindow->fileMenu->actions()) {
        QVERIFY2(action->isEnabled(), qPrintable(action->text()));
        QVERIFY2(action->toolTip() != tip, qPrintable(action->text()));
    }
    QCOMPARE(mSettings->stored(QStringLiteral("operation/locked")).toBool(), false);

    // Answered OK, the question unlocks, and the window goes.
    mWindow->fileLockAction->trigger();
    answerer.then(ModalAnswerer::click("OK"));
    QVERIFY(mWindow->close());
    QCOMPARE(answerer.seen.size(), 5);
    QCOMPARE(mSettings->stored(QStringLiteral("operation/locked")).toBool(), false);
    mWindow.reset();
    mWindow = std::make_unique<LumivaneMainWindow>();
    QVERIFY(mWindow->fileSetupAction->isEnabled());
}

void tst_Form::selectThenGo_data()
{
    QTest::addColumn<QList<int>>("keys"); // Qt::Key_Enter is the keypad's
    QTest::addColumn<int>("ready");       // the show ready after them; 0: none
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("checked"); // the show checked after them

    const int down = Qt::Key_Down;
    const int right = Qt::Key_Right;
    QTest::newRow("arrows browse") << QList<int> { down, down, right, Qt::Key_Up } << 10 << QByteArray() << 1;
    QTest::newRow("Return sends") << QList<int> { down, right, int(Qt::Key_Return) } << 0 << QByteArray("X040A") << 10;
    QTest::newRow("keypad Enter sends") << QList<int> { down, int(Qt::Key_Enter) } << 0 << QByteArray("X0402") << 2;
    QTest::newRow("Space selects") << QList<int> { down, int(Qt::Key_Space) } << 2 << QByteArray() << 1;
    QTest::newRow("Esc sends Off at once") << QList<int> { down, int(Qt::Key_Escape) } << 2 << QByteArray("X0100") << 1;
    QTest::newRow("Enter with nothing ready") << QList<int> { int(Qt::Key_Return) } << 0 << QByteArray() << 1;
}

// While a click only selects, the keys browse the shows safely: nothing goes
// to the player until Enter or Go; the grid stays on the show it got last.
void tst_Form::selectThenGo()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, ready);
    QFETCH(QByteArray, bytes);
    QFETCH(int, checked);

    QVERIFY(!mWindow->findChild<QPushButton *>(QStringLiteral("goButton")));
    const QSize plain = mWindow->size();
    mSettings->store(QStringLiteral("operation/selectThenGo"), true);
    // The port is let go before the window that reads the setting opens it.
    mWindow.reset();
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->show();
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    auto *go = mWindow->findChild<QPushButton *>(QStringLiteral("goButton"));
    QVERIFY(go->isVisible());
    QVERIFY(!go->isEnabled());
    // In the grid's frame, clear of every selector; the window no larger.
    QCOMPARE(mWindow->size(), plain);
    QVERIFY(mWindow->mTabber->geometry().contains(go->geometry()));
    for (int id = 0; id < 32; ++id) {
        const QRadioButton *selector = showButton(*mWindow, id);
        QVERIFY(!go->geometry().intersects(QRect(selector->mapTo(mWindow->centralWidget(), QPoint()), selector->size())));
    }
    QCOMPARE(go->toolTip(), QStringLiteral("Go (Enter)"));

    for (const int key : keys) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QTest::qWait(10);
    }
    QCOMPARE(mPty->read(), bytes);
    QVERIFY(showButton(*mWindow, checked - 1)->isChecked());
    auto *message = mWindow->findChild<QLabel *>(QStringLiteral("message"));
    if (!ready) {
        QVERIFY(!message->isVisible());
        QVERIFY(!go->isEnabled());
        return;
    }
    QVERIFY(message->isVisible());
    QCOMPARE(message->text(), QStringLiteral("Ready: Show %1").arg(ready));
    QVERIFY(go->isEnabled());

    // The ready selector is drawn marked: unlike itself once another is ready.
    QRadioButton *readyButton = showButton(*mWindow, ready - 1);
    mWindow->mOffButton->setFocus();
    const QImage marked = readyButton->grab().toImage();
    QTest::mouseClick(showButton(*mWindow, 30), Qt::LeftButton, {}, QPoint(5, 10));
    QCOMPARE(message->text(), QStringLiteral("Ready: Show 31"));
    QVERIFY(readyButton->grab().toImage() != marked);
    QCOMPARE(mPty->read(), QByteArray());

    // Go sends it, and the grid follows.
    QTest::mouseClick(go, Qt::LeftButton);
    QCOMPARE(mPty->read(), QByteArray("X041F"));
    QVERIFY(showButton(*mWindow, 30)->isChecked());
    QVERIFY(!go->isEnabled());
}

void tst_Form::longNamesEndInAnEllipsis_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("first column") << 0;
    QTest::newRow("fourth column, past the page's edge") << 24;
}

// A name longer than its room ends in "…" before the room's end, not in a
// letter cut off there; the whole name is in the tooltip.
void tst_Form::longNamesEndInAnEllipsis()
{
    QFETCH(int, id);
    const QString name = QStringLiteral("Abendlichtstimmungsmusikfinale");
    mWindow->setShowName(id, name);
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
    QRadioButton *button = showButton(*mWindow, id);
    QWidget *page = button->parentWidget();
    QCOMPARE(button->toolTip(), name);
    const QImage drawn = page->grab().toImage();
    const int end = qMin(button->geometry().right(), page->width() - 1);
    const auto inked = [&drawn, button](int from, int to) {
        const QRgb ground = drawn.pixel(from, button->y());
        for (int x = from; x <= to; ++x) {
            for (int y = button->y(); y <= button->geometry().bottom(); ++y) {
                if (drawn.pixel(x, y) != ground)
                    return true;
            }
        }
        return false;
    };
    QVERIFY(inked(end - 40, end - 4));
    QVERIFY(!inked(end - 2, end));
}

void tst_Form::aboutBox()
{
    ModalAnswerer answerer;
    // The lines the box's label breaks its text into, at any width the box
    // may give it on some screen: the licence's name stands on one of them.
    int licenceLines = 0;
    answerer.then([&licenceLines](QWidget *box) {
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QTextDocument laidOut;
        laidOut.setDefaultFont(label->font());
        laidOut.setHtml(label->text());
        for (int width = 200; width <= 800; ++width) {
            laidOut.setTextWidth(width);
            // Laid out only when something asks for its size.
            laidOut.size();
            for (QTextBlock block = laidOut.begin(); block.isValid(); block = block.next()) {
                const int from = int(block.text().indexOf(QStringLiteral("GPL")));
                const int to = int(block.text().indexOf(QStringLiteral("later"), qMax(from, 0)));
                if (from >= 0 && to > from) {
                    licenceLines = qMax(licenceLines, block.layout()->lineForTextPosition(to).lineNumber()
                                                          - block.layout()->lineForTextPosition(from).lineNumber() + 1);
                }
            }
        }
        ModalAnswerer::click("OK")(box);
    });
    mWindow->helpAboutAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("About Lumivane"));
    QVERIFY(answerer.seen[0].text.contains(QStringLiteral("Lumivane " LUMIVANE_VERSION)));
    QVERIFY(answerer.seen[0].text.contains(QString::fromLatin1(qVersion())));
    // Its hyphens do not break.
    QVERIFY(QString(answerer.seen[0].text).replace(QChar(0x2011), u'-').contains(QStringLiteral("GPL-3.0-or-later")));
    QCOMPARE(licenceLines, 1);
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
    const QString usage = QStringLiteral(
        "Usage: lumivane [-h | --help] [-v | --version] [--service | --set-web-password] [Qt options]\n");
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
    // Known before Qt's platform would abort for want of a display.
    QTest::newRow("unknown option without a display") << QStringList { "--bogus" } << false << 2 << QString()
                                                      << "lumivane: Unknown option 'bogus'.\n" + usage;
    QTest::newRow("--help=1") << QStringList { "--help=1" } << false << 2 << QString()
                              << "lumivane: Unexpected value after '--help'.\n" + usage;
    QTest::newRow("--version=2") << QStringList { "--version=2" } << false << 2 << QString()
                                 << "lumivane: Unexpected value after '--version'.\n" + usage;
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
    QTest::newRow("File, Exit while locked, unlocked") << "locked exit" << 0 << false;
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
    if (how == "locked exit") {
        settings.store(QStringLiteral("operation/locked"), true);
        answerer.then(ModalAnswerer::click("OK"));
    }
    QTimer::singleShot(0, &app, [&answerer, how] {
        LumivaneMainWindow *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            window = window ? window : qobject_cast<LumivaneMainWindow *>(w);
        // Names that File, Exit would ask about; no signal may.
        if (!how.endsWith("exit")) {
            answerer.then([](QWidget *w) {
                w->findChild<QTableWidget *>()->item(0, 0)->setText(QStringLiteral("Edited"));
                static_cast<QDialog *>(w)->accept();
            });
            window->fileEditAction->trigger();
        }
        fputs("window up\n", stdout);
        fflush(stdout);
        if (how.endsWith("exit")) {
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
