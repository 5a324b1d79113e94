// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/linkstate.h"

#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTime>

// One line of the status bar in the room the bar gives it: as much of its
// text as fits, cut with "…" (a line cut mid-word reads as a different
// line), and then the whole of it in the tooltip, above any tip of its own.
class StatusLabel : public QLabel
{
public:
    StatusLabel(Qt::TextElideMode mode, QWidget *parent)
        : QLabel(parent)
        , mMode(mode)
    {
    }

    void setWhole(const QString &text, const QString &tip = QString())
    {
        mWhole = text;
        mTip = tip;
        updateGeometry();
        fit();
    }

    QString whole() const { return mWhole; }

    // Asks for the whole text, so the label grows back as the bar widens.
    QSize sizeHint() const override
    {
        return { fontMetrics().horizontalAdvance(mWhole) + frameAndMargins(), QLabel::sizeHint().height() };
    }

    QSize minimumSizeHint() const override
    {
        return { qMin(sizeHint().width(), fontMetrics().horizontalAdvance(QStringLiteral("Xxx…")) + frameAndMargins()),
                  QLabel::minimumSizeHint().height() };
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    int frameAndMargins() const
    {
        const QMargins around = contentsMargins();
        return around.left() + around.right() + 2 * margin();
    }

    void fit()
    {
        const QString shown =
            fontMetrics().elidedText(mWhole, mMode, contentsRect().width() - 2 * margin());
        setText(shown);
        QStringList tips;
        if (shown != mWhole)
            tips << mWhole;
        if (!mTip.isEmpty())
            tips << mTip;
        setToolTip(tips.join(QLatin1Char('\n')));
    }

    Qt::TextElideMode mMode;
    QString mWhole;
    QString mTip;
};

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
void LumivaneMainWindow::createStatusWidgets()
{
    mMessageLabel = new StatusLabel(Qt::ElideRight, this);
    mMessageLabel->setObjectName(QStringLiteral("message"));
    mMessageLabel->hide();
    mLastCommandLabel = new StatusLabel(Qt::ElideRight, this);
    mLastCommandLabel->setObjectName(QStringLiteral("lastCommand"));
    // These two take the room the indicators leave, so a long line is cut
    // rather than the link.
    for (QLabel *line : { static_cast<QLabel *>(mMessageLabel), static_cast<QLabel *>(mLastCommandLabel) }) {
        line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        line->setMinimumWidth(40);
    }
    showLastCommand(QString::fromUtf8(LinkState::nothingSent));
    mSentLine = mLastCommandLabel->whole();
    mRemoteLabel = new QLabel(this);
    mRemoteLabel->setObjectName(QStringLiteral("remote"));
    // Apart from the link's dot, which belongs to the words right of it.
    mRemoteLabel->setContentsMargins(0, 0, 8, 0);
    mRemoteLabel->hide();
    mLinkSymbol = new QLabel(QStringLiteral("●"), this);
    // A long port name keeps both the state in front and the name's end,
    // which tells one adapter from another.
    mLinkLabel = new StatusLabel(Qt::ElideMiddle, this);
    mLinkLabel->setObjectName(QStringLiteral("link"));
    // Room for "Not connected: FT232R USB UART (ttyUSB0)" and more, while a
    // hand-written path does not push the last command out.
    mLinkLabel->setMaximumWidth(48 * mLinkLabel->fontMetrics().averageCharWidth());
    statusBar()->addPermanentWidget(mMessageLabel, 1);
    statusBar()->addPermanentWidget(mLastCommandLabel, 1);
    // Shares the room the last command has while it lasts, and is cut
    // first: the whole of it is in its tooltip.
    mTimetableMark = new StatusLabel(Qt::ElideRight, this);
    mTimetableMark->setObjectName(QStringLiteral("timetableMark"));
    mTimetableMark->setStyleSheet(QStringLiteral("color: #b00000"));
    mTimetableMark->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    mTimetableMark->setMinimumWidth(40);
    mTimetableMark->hide();
    statusBar()->addPermanentWidget(mTimetableMark, 1);
    mNextLabel = new QLabel(this);
    mNextLabel->setObjectName(QStringLiteral("next"));
    mNextLabel->setContentsMargins(0, 0, 8, 0);
    mNextLabel->hide();
    statusBar()->addPermanentWidget(mNextLabel);
    mLockedMark = new QLabel(QStringLiteral("Locked"), this);
    mLockedMark->setObjectName(QStringLiteral("locked"));
    QFont bold = mLockedMark->font();
    bold.setWeight(QFont::Bold);
    mLockedMark->setFont(bold);
    mLockedMark->setContentsMargins(0, 0, 8, 0);
    mLockedMark->hide();
    statusBar()->addPermanentWidget(mLockedMark);
    statusBar()->addPermanentWidget(mRemoteLabel);
    statusBar()->addPermanentWidget(mLinkSymbol);
    statusBar()->addPermanentWidget(mLinkLabel);
    connect(statusBar(), &QStatusBar::messageChanged, this, &LumivaneMainWindow::showStatusMessage);

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
    mMessageLabel->setWhole(message);
    mMessageLabel->setVisible(!message.isEmpty());
    mLastCommandLabel->setVisible(message.isEmpty());
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
    // What is wrong stays readable however narrow the window; what runs
    // instead is cut first.
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
    if (remote().listening())
        mRemoteLabel->setText(QStringLiteral("Remote: on"));
    else if (remote().portInUse())
        mRemoteLabel->setText(QStringLiteral("Remote: port %1 in use").arg(mRemoteConfig.port));
    else
        mRemoteLabel->setText(QStringLiteral("Remote: not listening"));
    mRemoteLabel->setToolTip(remote().status());
}
