#include "lumivanemainwindow.h"

#include "link/linkstate.h"

#include <QLabel>
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

// Permanent widgets: a temporary message, or the empty status tip of a menu
// entry under the mouse, never hides them.
void LumivaneMainWindow::createStatusWidgets()
{
    mLastCommandLabel = new QLabel(QString::fromUtf8(LinkState::nothingSent), this);
    mLastCommandLabel->setObjectName(QStringLiteral("lastCommand"));
    // Cut off first where the bar is too narrow for both.
    mLastCommandLabel->setMinimumWidth(40);
    mSentLine = mLastCommandLabel->text();
    mLinkSymbol = new QLabel(QStringLiteral("●"), this);
    mLinkLabel = new QLabel(this);
    mLinkLabel->setObjectName(QStringLiteral("link"));
    statusBar()->addPermanentWidget(mLastCommandLabel, 1);
    statusBar()->addPermanentWidget(mLinkSymbol);
    statusBar()->addPermanentWidget(mLinkLabel);

    mPortWatch.setInterval(1000);
    connect(&mPortWatch, &QTimer::timeout, this, &LumivaneMainWindow::lookForPort);
}

void LumivaneMainWindow::showLink()
{
    const LinkState::Indicator shown = LinkState::indicator(mPort != nullptr, mStalled, mPortLabel);
    mLinkLabel->setText(shown.text);
    if (mPort)
        mRemoteRefused.clear();
    const QString tip = mRemoteRefused.isEmpty() ? linkReason()
                                                 : linkReason() + QLatin1Char('\n') + mRemoteRefused;
    mLinkLabel->setToolTip(tip);
    mLinkSymbol->setStyleSheet(QStringLiteral("color: %1").arg(symbolColour(shown.link)));
    mLinkSymbol->setToolTip(tip);
    if (mPort)
        mPortWatch.stop();
    else if (!mPortWatch.isActive())
        mPortWatch.start();
}

QString LumivaneMainWindow::linkText() const
{
    return mLinkLabel->text();
}

QString LumivaneMainWindow::linkReason() const
{
    if (!mPort)
        return mWhyNotOpen;
    if (mStalled)
        return QStringLiteral("The port is not taking data; commands wait until it does.");
    return {};
}

void LumivaneMainWindow::showSent(const QByteArray &command)
{
    mSentLine = LinkState::sentLine(LinkState::describe(command, showNames()), QTime::currentTime(),
                                    mCommandSources.value(command));
    mLastCommandLabel->setText(mSentLine);
}

void LumivaneMainWindow::showWaiting()
{
    mLastCommandLabel->setText(LinkState::waitingLine(LinkState::describe(mLastQueued, showNames()),
                                                      mCommandSources.value(mLastQueued)));
}
