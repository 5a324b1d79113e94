// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#ifdef Q_OS_WIN
#include "autostart/autostart.h"
#endif
#include "panel/panel.h"
#include "statusarea.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QRadioButton>
#include <QSlider>

#include <cstdlib>

LumivaneMainWindow::LumivaneMainWindow(QWidget *parent, const char *name, Qt::WindowFlags flags)
    : LumivaneMainWindowBase(parent, name, flags), mPanel(std::make_unique<Panel>())
{
    mBrightSlider->setRange(0, Commands::brightnessMaximum);
    createShowButtons();
    connect(mShowGroup.get(), &QButtonGroup::idClicked, this, &LumivaneMainWindow::showClicked);
    mStatus = new StatusArea(*mPanel, statusBar());
    mStatus->lasting = [this] { return readyText(); };
    offerAutostart();
    // Qt shows tooltips only in the active window; the whole of a line cut
    // short is wanted as much while another program has the keyboard.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    showBrightness();
    connect(mBrightSlider, &QSlider::valueChanged, this, &LumivaneMainWindow::showBrightness);

    // Checked where it stands, whoever started it; the page the operator
    // looks at stays.
    connect(mPanel.get(), &Panel::showStarted, this, [this](int id) { showSelector(id)->setChecked(true); });
    connect(mPanel.get(), &Panel::showRefused, this, &LumivaneMainWindow::unmarkRefused);
    connect(mPanel.get(), &Panel::startIgnored, this, &LumivaneMainWindow::flashIgnored);
    connect(mPanel.get(), &Panel::brightnessQueued, this, &LumivaneMainWindow::followBrightness);
    connect(mPanel.get(), &Panel::noPortForHand, this, &LumivaneMainWindow::warnNoPort);
    connect(mPanel.get(), &Panel::lockedChanged, this, &LumivaneMainWindow::applyLock);
    // A box saying the port is not open would now say what is no longer
    // so: it goes by itself, its OK never having been pressed.
    connect(mPanel.get(), &Panel::portOpened, this, [this] {
        if (mPortBox)
            mPortBox->reject();
    });

    // After a power cut nobody is there to answer a box: remote control, the
    // timetable with its catch-up and the watch for an absent port all run
    // before the first one. The port's warning and the question about the
    // name file still come before the window is first shown.
    const Settings::Values &settings = mPanel->start();
    mOtherPort = settings.text(Settings::otherPort);
    mSelectThenGo = settings.flag(Settings::selectThenGo);
    // The selectors have their default names yet, which read the same
    // either way.
    mShowNumbers = settings.flag(Settings::showNumbers);
    mAskNamesAtStart = settings.flag(Settings::askNamesAtStart);
    if (mSelectThenGo)
        setSelectThenGo(true);
    if (!mPanel->portOpen())
        warnPortNotOpened();
    askToLoadLastFile(settings.text(Settings::lastFile));
}

LumivaneMainWindow::~LumivaneMainWindow() = default;

QString LumivaneMainWindow::linkText() const
{
    return mStatus->linkText();
}

// No action has a status tip, so the empty ones that menus send as the mouse
// passes over them would only wipe a message before its time.
bool LumivaneMainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent *>(event)->tip().isEmpty())
        return true;
    return LumivaneMainWindowBase::event(event);
}

void LumivaneMainWindow::doOff()
{
    mPanel->dispatch(Command::off(), hand());
}

Source LumivaneMainWindow::hand() const
{
    return Source::hand(mLastInput);
}

void LumivaneMainWindow::warnPortNotOpened()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                    QStringLiteral("Could not open serial port ") + mPanel->portName(), QMessageBox::Ok, this);
    box.setInformativeText(mPanel->whyNotOpen());
    mPortBox = &box;
    box.exec();
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
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                        QStringLiteral("No serial port selected"), QMessageBox::Ok, this);
        box.setInformativeText(QStringLiteral("The chosen port is %1. ").arg(mPanel->portName())
                               + mPanel->whyNotOpen());
        mPortBox = &box;
        box.exec();
        mNoPortWarningPending = false;
    });
}

void LumivaneMainWindow::closeEvent(QCloseEvent *event)
{
    if (unlockedToLeave() && changedNamesSavedOrDropped())
        event->accept();
    else
        event->ignore();
}

void LumivaneMainWindow::doExit()
{
    if (!unlockedToLeave() || !changedNamesSavedOrDropped())
        return;
    // At once, without unwinding the window, but with the port let go of: the
    // system would close the descriptor, yet leave the terminal's exclusive
    // mode on for whoever else has it open.
    mPanel->end();
    std::exit(0);
}

// Elsewhere the system's own session settings start programs at log-in.
void LumivaneMainWindow::offerAutostart()
{
#ifdef Q_OS_WIN
    mAutostartAction = new QAction(QStringLiteral("Start with Windows"), this);
    mAutostartAction->setObjectName(QStringLiteral("fileAutostartAction"));
    mAutostartAction->setCheckable(true);
    mAutostartAction->setChecked(Autostart::enabled());
    fileMenu->insertAction(fileExitAction, mAutostartAction);
    fileMenu->insertSeparator(fileExitAction);
    connect(mAutostartAction, &QAction::triggered, this, [this](bool on) {
        if (const QString failure = Autostart::setEnabled(on); !failure.isEmpty()) {
            mAutostartAction->setChecked(!on);
            statusBar()->showMessage(failure, Panel::messageMs);
        }
    });
#endif
}
