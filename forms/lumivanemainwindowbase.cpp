// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindowbase.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTabWidget>

namespace {

void makeBold(QWidget *widget)
{
    QFont font = widget->font();
    font.setWeight(QFont::Bold);
    widget->setFont(font);
}

// A fixed width chosen for one font cuts the text off in another; the widget
// grows to its text, rightwards from where it stands.
void growToText(QLabel *label)
{
    label->resize(qMax(label->width(), label->sizeHint().width()), label->height());
}

void growToText(QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int missing = button->fontMetrics().horizontalAdvance(button->text()) - contents.width();
    if (missing > 0)
        button->resize(button->width() + missing, button->height());
}

// Qt's styles fill a slider's groove from its minimum to the handle. The
// brightness slider's minimum is full brightness at the top, so the filled
// part would be the dark one: its groove is drawn as for a slider running
// the other way, whose handle stands at exactly the same place, and the
// handle and the ticks as they are.
class FillFromTheBottom : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
        if (control != CC_Slider || !slider || !(slider->subControls & SC_SliderGroove)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        QStyleOptionSlider groove = *slider;
        groove.subControls = SC_SliderGroove;
        if (fillsItsGroove()) {
            groove.upsideDown = !slider->upsideDown;
            groove.sliderPosition = slider->maximum + slider->minimum - slider->sliderPosition;
            groove.sliderValue = slider->maximum + slider->minimum - slider->sliderValue;
            QProxyStyle::drawComplexControl(control, &groove, painter, widget);
        } else {
            // Windows' own styles draw the groove alike at every value: the
            // filled part is painted over it, from the handle down.
            QProxyStyle::drawComplexControl(control, &groove, painter, widget);
            const QRect track = subControlRect(CC_Slider, slider, SC_SliderGroove, widget);
            const QRect handle = subControlRect(CC_Slider, slider, SC_SliderHandle, widget);
            const QRect fill = slider->orientation == Qt::Vertical
                ? QRect(QPoint(track.center().x() - 1, handle.center().y()), QPoint(track.center().x() + 2, track.bottom() - 2))
                : QRect(QPoint(track.left() + 2, track.center().y() - 1), QPoint(handle.center().x(), track.center().y() + 2));
            painter->fillRect(fill, slider->palette.color(QPalette::Highlight));
        }
        QStyleOptionSlider rest = *slider;
        rest.subControls &= ~SC_SliderGroove;
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
    }

private:
    // Fusion fills the groove on one side of the handle; the side is turned.
    bool fillsItsGroove() const
    {
        return baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
    }
};

// A proxy style has no name of its own; the one it wraps does.
QString styleName(const QStyle *style)
{
    while (const auto *proxy = qobject_cast<const QProxyStyle *>(style))
        style = proxy->baseStyle();
    return style->name();
}

QAction *createAction(QObject *parent, const char *objectName)
{
    auto *action = new QAction(parent);
    action->setObjectName(QLatin1String(objectName));
    return action;
}

} // namespace

LumivaneMainWindowBase::LumivaneMainWindowBase(QWidget *parent, const char *name, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    statusBar();
    if (!name)
        setObjectName(QStringLiteral("LumivaneMainWindowBase"));
    else
        setObjectName(QLatin1String(name));

    createControls();
    createActions();
    createMenus();
    languageChange();
    fitTexts();
    resize(QSize(639, 366).expandedTo(minimumSizeHint()));
    connectSignals();
}

void LumivaneMainWindowBase::createControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("qt_central_widget"));
    setCentralWidget(central);

    mBrightSlider = new QSlider(Qt::Vertical, central);
    mBrightSlider->setObjectName(QStringLiteral("mBrightSlider"));
    mBrightSlider->setGeometry(570, 30, 40, 240);
    mBrightSlider->setRange(0, 99);
    mBrightSlider->setSingleStep(1);
    mBrightSlider->setPageStep(10);
    mBrightSlider->setValue(0);
    mBrightSlider->setTracking(true);
    mBrightSlider->setTickPosition(QSlider::TicksRight);
    mBrightSlider->setTickInterval(25);
    // Qt puts the minimum of a vertical slider at the bottom; here 0 (full
    // brightness) is at the top, and keys and wheel still move the handle the
    // way they point.
    mBrightSlider->setInvertedAppearance(true);
    mBrightSlider->setInvertedControls(true);
    // The style the application has, whatever -style chose. A widget does
    // not own its style: the window does, and having made it after the
    // central widget, deletes it after the slider.
    auto *fill = new FillFromTheBottom(styleName(QApplication::style()));
    fill->setParent(this);
    mBrightSlider->setStyle(fill);

    mOffButton = new QPushButton(central);
    mOffButton->setObjectName(QStringLiteral("mOffButton"));
    mOffButton->setGeometry(550, 280, 71, 31);
    makeBold(mOffButton);

    textLabel1 = new QLabel(central);
    textLabel1->setObjectName(QStringLiteral("textLabel1"));
    textLabel1->setGeometry(560, 0, 70, 21);
    makeBold(textLabel1);

    mTabber = new QTabWidget(central);
    mTabber->setObjectName(QStringLiteral("mTabber"));
    mTabber->setGeometry(0, 0, 540, 315);
    QWidget **pages[] = { &tab, &tab_2, &tab_3, &tab_4 };
    const char *pageNames[] = { "tab", "tab_2", "tab_3", "tab_4" };
    for (int i = 0; i < 4; ++i) {
        *pages[i] = new QWidget(mTabber);
        (*pages[i])->setObjectName(QLatin1String(pageNames[i]));
        mTabber->addTab(*pages[i], QString());
    }
}

void LumivaneMainWindowBase::createActions()
{
    helpAboutAction = createAction(this, "helpAboutAction");
    helpAboutQtAction = createAction(this, "helpAboutQtAction");
    fileExitAction = createAction(this, "fileExitAction");
    editCutAction = createAction(this, "editCutAction");
    editCopyAction = createAction(this, "editCopyAction");
    editPasteAction = createAction(this, "editPasteAction");
    fileLoadAction = createAction(this, "fileLoadAction");
    fileSetupAction = createAction(this, "fileSetupAction");
    fileRemoteAction = createAction(this, "fileRemoteAction");
    fileBrowserPanelAction = createAction(this, "fileBrowserPanelAction");
    fileTimetableAction = createAction(this, "fileTimetableAction");
    fileOperationAction = createAction(this, "fileOperationAction");
    fileLockAction = createAction(this, "fileLockAction");
    fileLockAction->setCheckable(true);
    fileJournalAction = createAction(this, "fileJournalAction");
    fileEditAction = createAction(this, "fileEditAction");
    fileSaveAction = createAction(this, "fileSaveAction");

    editCutAction->setEnabled(false);
    editCopyAction->setEnabled(false);
    editPasteAction->setEnabled(false);
    fileLoadAction->setEnabled(true);
}

void LumivaneMainWindowBase::createMenus()
{
    menubar = new QMenuBar(this);
    menubar->setObjectName(QStringLiteral("menubar"));
    setMenuBar(menubar);

    fileMenu = new QMenu(this);
    // A locked entry's tooltip says how to unlock it; a menu shows none
    // unless asked to.
    fileMenu->setToolTipsVisible(true);
    fileMenu->addAction(fileSetupAction);
    fileMenu->addAction(fileRemoteAction);
    fileMenu->addAction(fileBrowserPanelAction);
    fileMenu->addAction(fileTimetableAction);
    fileMenu->addAction(fileOperationAction);
    fileMenu->addAction(fileLockAction);
    fileMenu->addSeparator();
    fileMenu->addAction(fileLoadAction);
    fileMenu->addAction(fileSaveAction);
    fileMenu->addSeparator();
    fileMenu->addAction(fileEditAction);
    fileMenu->addSeparator();
    fileMenu->addAction(fileJournalAction);
    fileMenu->addSeparator();
    fileMenu->addAction(fileExitAction);
    menubar->addMenu(fileMenu);

    editMenu = new QMenu(this);
    editMenu->addAction(editCutAction);
    editMenu->addAction(editCopyAction);
    editMenu->addAction(editPasteAction);
    menubar->addMenu(editMenu);

    helpMenu = new QMenu(this);
    helpMenu->addAction(helpAboutAction);
    helpMenu->addAction(helpAboutQtAction);
    menubar->addMenu(helpMenu);
}

void LumivaneMainWindowBase::connectSignals()
{
    connect(fileExitAction, &QAction::triggered, this, &LumivaneMainWindowBase::doExit);
    connect(mOffButton, &QPushButton::clicked, this, &LumivaneMainWindowBase::doOff);
    // The panic key, wherever the focus is in this window; an open menu or
    // dialog is a window of its own and keeps Esc.
    auto *panic = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(panic, &QShortcut::activated, this, &LumivaneMainWindowBase::doOff);
    connect(mBrightSlider, &QSlider::valueChanged, this, &LumivaneMainWindowBase::doBright);
    connect(helpAboutAction, &QAction::triggered, this, &LumivaneMainWindowBase::doAbout);
    connect(helpAboutQtAction, &QAction::triggered, this, [this] { QMessageBox::aboutQt(this); });
    connect(fileSetupAction, &QAction::triggered, this, &LumivaneMainWindowBase::doSetup);
    connect(fileRemoteAction, &QAction::triggered, this, &LumivaneMainWindowBase::doRemote);
    connect(fileBrowserPanelAction, &QAction::triggered, this, &LumivaneMainWindowBase::doBrowserPanel);
    connect(fileTimetableAction, &QAction::triggered, this, &LumivaneMainWindowBase::doTimetable);
    connect(fileOperationAction, &QAction::triggered, this, &LumivaneMainWindowBase::doOperation);
    connect(fileLockAction, &QAction::triggered, this, &LumivaneMainWindowBase::doLock);
    connect(fileJournalAction, &QAction::triggered, this, &LumivaneMainWindowBase::doJournal);
    connect(fileLoadAction, &QAction::triggered, this, &LumivaneMainWindowBase::doLoadNames);
    connect(fileSaveAction, &QAction::triggered, this, &LumivaneMainWindowBase::doSaveNames);
    connect(fileEditAction, &QAction::triggered, this, &LumivaneMainWindowBase::doEditNames);
}

void LumivaneMainWindowBase::languageChange()
{
    setWindowTitle(tr("Tavrolux Zentrel Lumivane"));
    mOffButton->setText(tr("Off"));
    mOffButton->setToolTip(tr("Off (Esc)"));
    textLabel1->setText(tr("Brightness"));
    mTabber->setTabText(mTabber->indexOf(tab), tr("Shows 1 - 32"));
    mTabber->setTabText(mTabber->indexOf(tab_2), tr("Shows 33 - 64"));
    mTabber->setTabText(mTabber->indexOf(tab_3), tr("Shows 65 - 96"));
    mTabber->setTabText(mTabber->indexOf(tab_4), tr("Shows 97 - 128"));
    helpAboutAction->setText(tr("About"));
    helpAboutQtAction->setText(tr("About Qt"));
    fileExitAction->setText(tr("Exit"));
    editCutAction->setText(tr("Cut"));
    editCopyAction->setText(tr("Copy"));
    editPasteAction->setText(tr("Paste"));
    fileLoadAction->setText(tr("Load Show Names"));
    fileSetupAction->setText(tr("Setup Connection..."));
    fileRemoteAction->setText(tr("Remote Control..."));
    fileBrowserPanelAction->setText(tr("Browser Panel..."));
    fileTimetableAction->setText(tr("Timetable..."));
    fileOperationAction->setText(tr("Operation..."));
    fileLockAction->setText(tr("Lock Controls"));
    fileJournalAction->setText(tr("Journal..."));
    fileEditAction->setText(tr("Edit Show Names"));
    fileSaveAction->setText(tr("Save Show Names"));
    fileMenu->setTitle(tr("File"));
    editMenu->setTitle(tr("Edit"));
    helpMenu->setTitle(tr("Help"));
}

void LumivaneMainWindowBase::fitTexts()
{
    growToText(textLabel1);
    growToText(mOffButton);
    // The controls keep fixed places, so the window must not get smaller
    // than what shows all of them.
    const QWidget *controls[] = { mTabber, mBrightSlider, mOffButton, textLabel1 };
    QRect used;
    for (const QWidget *control : controls)
        used |= control->geometry();
    centralWidget()->setMinimumSize(used.right() + 1, used.bottom() + 1);
    setMinimumSize(QSize(639, 366).expandedTo(minimumSizeHint()));
}

void LumivaneMainWindowBase::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        languageChange();
        fitTexts();
    }
    QMainWindow::changeEvent(event);
}

void LumivaneMainWindowBase::doExit()
{
    qWarning("LumivaneMainWindowBase::doExit(): Not implemented yet");
}

void LumivaneMainWindowBase::doOff()
{
    qWarning("LumivaneMainWindowBase::doOff(): Not implemented yet");
}

void LumivaneMainWindowBase::doBright()
{
    qWarning("LumivaneMainWindowBase::doBright(): Not implemented yet");
}

void LumivaneMainWindowBase::doAbout()
{
    qWarning("LumivaneMainWindowBase::doAbout(): Not implemented yet");
}

void LumivaneMainWindowBase::doSetup()
{
    qWarning("LumivaneMainWindowBase::doSetup(): Not implemented yet");
}

void LumivaneMainWindowBase::doRemote()
{
    qWarning("LumivaneMainWindowBase::doRemote(): Not implemented yet");
}

void LumivaneMainWindowBase::doBrowserPanel()
{
    qWarning("LumivaneMainWindowBase::doBrowserPanel(): Not implemented yet");
}

void LumivaneMainWindowBase::doOperation()
{
    qWarning("LumivaneMainWindowBase::doOperation(): Not implemented yet");
}

void LumivaneMainWindowBase::doLock()
{
    qWarning("LumivaneMainWindowBase::doLock(): Not implemented yet");
}

void LumivaneMainWindowBase::doTimetable()
{
    qWarning("LumivaneMainWindowBase::doTimetable(): Not implemented yet");
}

void LumivaneMainWindowBase::doJournal()
{
    qWarning("LumivaneMainWindowBase::doJournal(): Not implemented yet");
}

void LumivaneMainWindowBase::doLoadNames()
{
    qWarning("LumivaneMainWindowBase::doLoadNames(): Not implemented yet");
}

void LumivaneMainWindowBase::doSaveNames()
{
    qWarning("LumivaneMainWindowBase::doSaveNames(): Not implemented yet");
}

void LumivaneMainWindowBase::doEditNames()
{
    qWarning("LumivaneMainWindowBase::doEditNames(): Not implemented yet");
}
