// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/linkstate.h"
#include "statusline.h"

#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QStatusTipEvent>
#include <QStatusBar>
#include <QTime>

namespace {

// Beside the indicator's text, which says the same in words.
QString symbolColour(LinkState::Link link)
{
    switch (link) {
    case LinkState::Link::Connected:
        return QStringLiteral("#2e7d32");
    case LinkState::Link::NotTakingData:
        return QStringLiteral("#c77800");
    case LinkState::Link::NotConnected:
        break;
    }
    return QStringLiteral("#c62828");
}

} // namespace

// Every widget is permanent, so a menu entry's status tip never hides the
// link. QStatusBar paints a message of its own only left of its first
// permanent widget, where there is no room at all: messages are shown in
// mMessageLabel instead, in the last-command line's place while they last.
// One row holds them all and shares its room by what matters most: the
// link, the lock and the indicators whole while they fit, and the message
// or the last command in the room left; the lowest rank is cut last.
void LumivaneMainWindow::createStatusWidgets()
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("statusRow"));
    auto *layout = new StatusRow(row);
    const auto line = [row](const char *name, Qt::TextElideMode mode) {
        auto *label = new StatusLabel(mode, row);
        label->setObjectName(QLatin1String(name));
        return label;
    };

    mMessageLabel = line("message", Qt::ElideRight);
    mMessageLabel->hide();
    layout->addWidget(mMessageLabel, 9);
    mLastCommandLabel = line("lastCommand", Qt::ElideRight);
    showLastCommand(QString::fromUtf8(LinkState::nothingSent));
    mSentLine = mLastCommandLabel->whole();
    layout->addWidget(mLastCommandLabel, 9);
    // However long the port's name, the last command keeps room for a show
    // and its time, and a message as much.
    const int lineLeast = mLastCommandLabel->fontMetrics().horizontalAdvance(QStringLiteral("Sent: Show 128 · 20:15:03"));
    mMessageLabel->setMinimumWidth(lineLeast);
    mLastCommandLabel->setMinimumWidth(lineLeast);
    // What is wrong stays readable however narrow the window (its least
    // width, set as it is shown); what runs instead is cut first.
    mTimetableMark = line("timetableMark", Qt::ElideRight);
    mTimetableMark->setStyleSheet(QStringLiteral("color: #b00000"));
    mTimetableMark->hide();
    layout->addWidget(mTimetableMark, 4);
    mNextLabel = line("next", Qt::ElideRight);
    mNextLabel->hide();
    layout->addWidget(mNextLabel, 3);
    mLockedMark = new QLabel(QStringLiteral("Locked"), row);
    mLockedMark->setObjectName(QStringLiteral("locked"));
    QFont bold = mLockedMark->font();
    bold.setWeight(QFont::Bold);
    mLockedMark->setFont(bold);
    mLockedMark->hide();
    layout->addWidget(mLockedMark, 1);
    mRemoteLabel = line("remote", Qt::ElideRight);
    mRemoteLabel->hide();
    layout->addWidget(mRemoteLabel, 2);
    // Apart from the link's dot, which belongs to the words right of it.
    for (QLabel *indicator : { static_cast<QLabel *>(mTimetableMark), static_cast<QLabel *>(mNextLabel), mLockedMark,
                               static_cast<QLabel *>(mRemoteLabel) })
        indicator->setContentsMargins(0, 0, 4, 0);
    mLinkSymbol = new QLabel(QStringLiteral("●"), row);
    layout->addWidget(mLinkSymbol, 0);
    // A long port name keeps both the state in front and the name's end,
    // which tells one adapter from another.
    mLinkLabel = line("link", Qt::ElideMiddle);
    layout->addWidget(mLinkLabel, 0);
    statusBar()->addPermanentWidget(row, 1);
    connect(statusBar(), &QStatusBar::messageChanged, this, &LumivaneMainWindow::showStatusMessage);
    // Qt shows tooltips only in the active window; the whole of a line cut
    // short is wanted as much while another program has the keyboard.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    mPortWatch.setInterval(1000);
    connect(&mPortWatch, &QTimer::timeout, this, &LumivaneMainWindow::lookForPort);
}

// No action has a status tip, so the empty ones that menus send as the mouse
// passes over them would only wipe a message before its time.
bool LumivaneMainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent *>(event)->tip().isEmpty())
        return true;
    return LumivaneMainWindowBase::event(event);
}

void LumivaneMainWindow::showStatusMessage(const QString &message)
{
    // A ready show stays told until it goes, past any passing message.
    if (message.isEmpty() && mReadyShow) {
        statusBar()->showMessage(readyText());
        return;
    }
    mMessageLabel->setVisible(!message.isEmpty());
    mLastCommandLabel->setVisible(message.isEmpty());
    mMessageLabel->setWhole(message);
}

void LumivaneMainWindow::showLink()
{
    const LinkState::Indicator shown = LinkState::indicator(mPort != nullptr, mStalled, mPortLabel);
    if (mPort)
        mRefusedNote.clear();
    const QString tip = mRefusedNote.isEmpty() ? linkReason()
                                                 : linkReason() + QLatin1Char('\n') + mRefusedNote;
    mLinkLabel->setWhole(shown.text, tip);
    mLinkSymbol->setStyleSheet(QStringLiteral("color: %1").arg(symbolColour(shown.link)));
    mLinkSymbol->setToolTip(mLinkLabel->toolTip());
    if (mPort)
        mPortWatch.stop();
    else if (!mPortWatch.isActive())
        mPortWatch.start();
}

QString LumivaneMainWindow::linkText() const
{
    return mLinkLabel->whole();
}

QString LumivaneMainWindow::linkReason() const
{
    if (!mPort)
        return mWhyNotOpen;
    if (mStalled)
        return QStringLiteral("The port is not taking data; commands wait until it does.");
    return {};
}

void LumivaneMainWindow::showLastCommand(const QString &line)
{
    if (mLastCommandLabel)
        mLastCommandLabel->setWhole(line);
}

void LumivaneMainWindow::showSent(const QByteArray &command)
{
    mSentLine = LinkState::sentLine(describeCommand(command), QTime::currentTime(),
                                    mCommandSources.value(command));
    showLastCommand(mSentLine);
}

void LumivaneMainWindow::showWaiting()
{
    showLastCommand(LinkState::waitingLine(describeCommand(mLastQueued),
                                           mCommandSources.value(mLastQueued)));
}

// Lasting, where the next entry is told, until a good file is read.
void LumivaneMainWindow::showTimetableMark()
{
    mTimetableMark->setVisible(!mTimetableRefused.isEmpty());
    if (mTimetableRefused.isEmpty())
        return;
    // The reason's first words: "line 4", or the system's "No such file or
    // directory".
    const QString reason = mTimetableRefused.section(u':', 0, 0);
    const QString what = reason.startsWith(QStringLiteral("line ")) ? reason + QStringLiteral(" refused") : reason;
    const QString running = mTimetable.running()
        ? QStringLiteral("running the version of %1")
              .arg(QLocale::c().toString(mTimetableVersion, QStringLiteral("d MMM HH:mm")))
        : QStringLiteral("nothing runs");
    const QString head = QStringLiteral("Timetable: %1").arg(what);
    mTimetableMark->setMinimumWidth(mTimetableMark->fontMetrics().horizontalAdvance(head + u'…') + 4);
    mTimetableMark->setWhole(QStringLiteral("%1, %2").arg(head, running),
                             QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(mTimetableFile), mTimetableRefused));
}

// Nothing at all while remote control is off; while it is on, whether it
// listens, and where or why not in the tooltip.
void LumivaneMainWindow::showRemote()
{
    mRemoteLabel->setVisible(mRemoteConfig.enabled);
    if (!mRemoteConfig.enabled)
        return;
    const QString text = remote().listening() ? QStringLiteral("Remote: on")
        : remote().portInUse()                ? QStringLiteral("Remote: port %1 in use").arg(mRemoteConfig.port)
                                              : QStringLiteral("Remote: not listening");
    mRemoteLabel->setWhole(text, remote().status());
}
