// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "statusarea.h"

#include "panel/panel.h"
#include "statusline.h"

#include <QLabel>
#include <QStatusBar>

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
StatusArea::StatusArea(Panel &panel, QStatusBar *bar)
    : QWidget(bar), mPanel(panel), mBar(bar)
{
    setObjectName(QStringLiteral("statusRow"));
    auto *layout = new StatusRow(this);
    const auto line = [this](const char *name, Qt::TextElideMode mode) {
        auto *label = new StatusLabel(mode, this);
        label->setObjectName(QLatin1String(name));
        return label;
    };

    mMessageLabel = line("message", Qt::ElideRight);
    mMessageLabel->hide();
    layout->addWidget(mMessageLabel, 9);
    mLastCommandLabel = line("lastCommand", Qt::ElideRight);
    showLastCommand();
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
    mLockedMark = new QLabel(QStringLiteral("Locked"), this);
    mLockedMark->setObjectName(QStringLiteral("locked"));
    QFont bold = mLockedMark->font();
    bold.setWeight(QFont::Bold);
    mLockedMark->setFont(bold);
    mLockedMark->hide();
    layout->addWidget(mLockedMark, 1);
    mRemoteLabel = line("remote", Qt::ElideRight);
    mRemoteLabel->hide();
    layout->addWidget(mRemoteLabel, 2);
    mWebLabel = line("web", Qt::ElideRight);
    mWebLabel->hide();
    layout->addWidget(mWebLabel, 2);
    // Apart from the link's dot, which belongs to the words right of it.
    for (QLabel *indicator : { static_cast<QLabel *>(mTimetableMark), static_cast<QLabel *>(mNextLabel), mLockedMark,
                               static_cast<QLabel *>(mRemoteLabel), static_cast<QLabel *>(mWebLabel) })
        indicator->setContentsMargins(0, 0, 4, 0);
    mLinkSymbol = new QLabel(QStringLiteral("●"), this);
    layout->addWidget(mLinkSymbol, 0);
    // A long port name keeps both the state in front and the name's end,
    // which tells one adapter from another.
    mLinkLabel = line("link", Qt::ElideMiddle);
    layout->addWidget(mLinkLabel, 0);
    bar->addPermanentWidget(this, 1);
    connect(bar, &QStatusBar::messageChanged, this, &StatusArea::showMessage);

    connect(&panel, &Panel::message, bar, &QStatusBar::showMessage);
    connect(&panel, &Panel::linkChanged, this, &StatusArea::showLink);
    connect(&panel, &Panel::lastCommandChanged, this, &StatusArea::showLastCommand);
    connect(&panel, &Panel::timetableChanged, this, &StatusArea::showTimetable);
    connect(&panel, &Panel::remoteChanged, this, &StatusArea::showRemote);
    connect(&panel, &Panel::webChanged, this, &StatusArea::showWeb);
}

void StatusArea::showMessage(const QString &message)
{
    // A ready show stays told until it goes, past any passing message.
    if (message.isEmpty() && lasting) {
        if (const QString text = lasting(); !text.isEmpty()) {
            mBar->showMessage(text);
            return;
        }
    }
    mMessageLabel->setVisible(!message.isEmpty());
    mLastCommandLabel->setVisible(message.isEmpty());
    mMessageLabel->setWhole(message);
}

void StatusArea::showLink()
{
    const LinkState::Indicator shown = mPanel.link();
    mLinkLabel->setWhole(shown.text, mPanel.linkTip());
    mLinkSymbol->setStyleSheet(QStringLiteral("color: %1").arg(symbolColour(shown.link)));
    mLinkSymbol->setToolTip(mLinkLabel->toolTip());
}

QString StatusArea::linkText() const
{
    return mLinkLabel->whole();
}

void StatusArea::showLastCommand()
{
    mLastCommandLabel->setWhole(mPanel.lastCommandLine());
}

void StatusArea::setLocked(bool locked, const QString &tip)
{
    mLockedMark->setToolTip(tip);
    mLockedMark->setVisible(locked);
}

// Nothing while the timetable is off; its mark lasts, where the next entry
// is told, until a good file is read.
void StatusArea::showTimetable()
{
    const StatusText next = mPanel.nextText();
    mNextLabel->setVisible(next.shown);
    if (next.shown)
        mNextLabel->setWhole(next.text, next.tip);
    const StatusText mark = mPanel.timetableMark();
    mTimetableMark->setVisible(mark.shown);
    if (!mark.shown)
        return;
    // The mark's head ("Timetable: line 4 refused") is never cut.
    const QString head = mark.text.left(mark.text.lastIndexOf(QStringLiteral(", ")));
    mTimetableMark->setMinimumWidth(mTimetableMark->fontMetrics().horizontalAdvance(head + u'…') + 4);
    mTimetableMark->setWhole(mark.text, mark.tip);
}

void StatusArea::showRemote()
{
    const StatusText remote = mPanel.remoteText();
    mRemoteLabel->setVisible(remote.shown);
    if (remote.shown)
        mRemoteLabel->setWhole(remote.text, remote.tip);
}

void StatusArea::showWeb()
{
    const StatusText web = mPanel.webText();
    mWebLabel->setVisible(web.shown);
    if (web.shown)
        mWebLabel->setWhole(web.text, web.tip);
}
