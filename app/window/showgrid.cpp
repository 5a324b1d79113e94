// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "link/commands.h"
#include "link/linkstate.h"
#include "panel/panel.h"
#include "statusarea.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>

#include <utility>

namespace {

// The neighbour of a show in the direction of an arrow key on its own page,
// or -1 at the page's edge.
int neighbourOnPage(int id, int key)
{
    const int row = id % 8;
    const int column = id % 32 / 8;
    switch (key) {
    case Qt::Key_Up:
        return row > 0 ? id - 1 : -1;
    case Qt::Key_Down:
        return row < 7 ? id + 1 : -1;
    case Qt::Key_Left:
        return column > 0 ? id - 8 : -1;
    case Qt::Key_Right:
        return column < 3 ? id + 8 : -1;
    default:
        return -1;
    }
}

// Qt moves an exclusive group's arrow keys to the nearest button of the whole
// group, and the buttons of the hidden pages stand at the same places as the
// shown ones: a move would start, and give the focus to, a show nobody can
// see. Here a move stays on the page; otherwise it is Qt's: from a checked
// button the move checks its target and reports the click. While a click
// only selects, every move reports one, so the selection follows the focus.
class PageArrowKeys : public QObject
{
public:
    PageArrowKeys(QButtonGroup *group, std::function<bool()> clickOnlySelects)
        : QObject(group)
        , mGroup(group)
        , mClickOnlySelects(std::move(clickOnlySelects))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Left && key != Qt::Key_Right)
            return false;
        auto *from = static_cast<QAbstractButton *>(watched);
        const int to = neighbourOnPage(mGroup->id(from), key);
        if (QAbstractButton *target = mGroup->button(to)) {
            if (from->isChecked() || mClickOnlySelects())
                target->click();
            target->setFocus(key == Qt::Key_Up || key == Qt::Key_Left ? Qt::BacktabFocusReason
                                                                      : Qt::TabFocusReason);
        }
        return true;
    }

private:
    QButtonGroup *mGroup;
    std::function<bool()> mClickOnlySelects;
};

// A name longer than its selector's room ends in "…", not in a letter cut in
// two; the fourth column reaches past the page's edge, so its room ends
// there. The whole name is in the tooltip.
class ShowSelector : public QRadioButton
{
public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect label = style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this);
        const int room = qMin(width(), parentWidget()->width() - x()) - label.left() - 4;
        // Measured to a fraction of a pixel, as elidedText() measures it.
        const QString plain = QString(option.text).replace(QLatin1String("&&"), QLatin1String("&"));
        if (QFontMetricsF(font()).horizontalAdvance(plain) > room)
            option.text = fontMetrics().elidedText(option.text, Qt::ElideRight, room, Qt::TextShowMnemonic);
        painter.drawControl(QStyle::CE_RadioButton, option);
    }
};

QString defaultName(int id)
{
    return QStringLiteral("Show %1").arg(id + 1);
}

// What a selector reads: with numbers on, a name the operator gave comes
// after its show's number; a default name has its number already.
QString shownName(int id, const QString &name, bool numbers)
{
    if (!numbers || name == defaultName(id))
        return name;
    const QString number = QString::number(id + 1);
    return name.isEmpty() ? number : QStringLiteral("%1 \u00B7 %2").arg(number, name);
}

} // namespace

void LumivaneMainWindow::createShowButtons()
{
    // One group for all four pages, so checking a show anywhere unchecks the
    // one before. It has no parent: it is never shown.
    mShowGroup = std::make_unique<QButtonGroup>();
    mShowGroup->setExclusive(true);
    mArrowKeys = new PageArrowKeys(mShowGroup.get(), [this] { return mSelectThenGo; });

    // From the tabs to the shown page's selectors, the slider and Off; each
    // page's selectors go in before the slider as they are made.
    setTabOrder(mTabber, mBrightSlider);
    setTabOrder(mBrightSlider, mOffButton);

    // The hidden pages' 96 selectors would cost start-up time for nothing
    // the operator sees (see startup.h). A page is made when it is first
    // shown, before it is painted, or when one of its shows is first needed
    // (a remote command, the timetable, the guard).
    buildPage(mTabber->currentIndex());
    // Checked before the group is connected, so nothing is sent at start-up.
    showSelector(0)->setChecked(true);
    offerShownPageToTab();
    connect(mTabber, &QTabWidget::currentChanged, this, &LumivaneMainWindow::offerShownPageToTab);

    // The focus starts on the checked show, so a stray Tab and Space never
    // reach Off.
    mShowButtons[0]->setFocus();
}

QRadioButton *LumivaneMainWindow::showSelector(int id)
{
    if (!mShowButtons.at(id))
        buildPage(id / 32);
    return mShowButtons[id];
}

void LumivaneMainWindow::buildPage(int page)
{
    QWidget *tabPage = mTabber->widget(page);
    QWidget *before = mBrightSlider->previousInFocusChain();
    int id = page * 32;
    // Down each column first: shows 1 to 8 fill the left column.
    for (int x = 20; x <= 440; x += 140) {
        for (int y = 20; y <= 230; y += 30) {
            auto *button = new ShowSelector(tabPage);
            mShowButtons[id] = button;
            applyShowName(id);
            mShowGroup->addButton(button, id);
            button->setGeometry(x, y, 120, 20);
            button->installEventFilter(mArrowKeys);
            setTabOrder(before, button);
            before = button;
            // A page already on the screen shows only what is shown explicitly.
            if (tabPage->isVisible())
                button->show();
            ++id;
        }
    }
    setTabOrder(before, mBrightSlider);
}

// Qt lets Tab reach only one button of an exclusive group, the one checked or
// focused last, which may be on a hidden page: the shown page's selectors
// would then be out of the keyboard's reach. The shown page offers its
// checked selector, or else its first; nothing is checked or sent.
void LumivaneMainWindow::offerShownPageToTab()
{
    const int page = mTabber->currentIndex();
    const int checked = mShowGroup->checkedId();
    const int entry = checked >= 0 && checked / 32 == page ? checked : page * 32;
    showSelector(entry);
    for (int id = 0; id < int(mShowButtons.size()); ++id) {
        QRadioButton *button = mShowButtons[id];
        if (!button)
            continue;
        const int policy = id == entry ? button->focusPolicy() | Qt::TabFocus
                                       : button->focusPolicy() & ~Qt::TabFocus;
        button->setFocusPolicy(Qt::FocusPolicy(policy));
    }
    // Left on the page itself when the focused selector went out of sight.
    if (QApplication::focusWidget() == mTabber->currentWidget())
        mShowButtons[entry]->setFocus(Qt::TabFocusReason);
}

void LumivaneMainWindow::doShowButton(int id)
{
    mPanel->dispatch(Command::show(id + 1), hand());
}

// A click checked the selector before the panel had its say.
void LumivaneMainWindow::unmarkRefused()
{
    if (const std::optional<int> started = mPanel->lastStarted()) {
        showSelector(*started)->setChecked(true);
    } else if (QAbstractButton *checked = mShowGroup->checkedButton()) {
        // An exclusive group never unchecks its last button by itself.
        mShowGroup->setExclusive(false);
        checked->setChecked(false);
        mShowGroup->setExclusive(true);
    }
    offerShownPageToTab();
}

// Never silently: the selector of a start ignored for the guard flashes,
// and the grid goes back to the show the player got last.
void LumivaneMainWindow::flashIgnored(int id)
{
    if (const std::optional<int> started = mPanel->lastStarted())
        showSelector(*started)->setChecked(true);
    QRadioButton *button = showSelector(id);
    button->setProperty("flashing", true);
    styleSelector(id);
    QTimer::singleShot(flashMs, button, [this, id] {
        mShowButtons[id]->setProperty("flashing", false);
        styleSelector(id);
    });
}

void LumivaneMainWindow::showClicked(int id)
{
    if (!mSelectThenGo) {
        doShowButton(id);
        return;
    }
    // The click checked the selector; the grid stays on what the player got.
    showSelector(mPanel->lastStarted().value_or(0))->setChecked(true);
    selectShow(id);
}

void LumivaneMainWindow::selectShow(int id)
{
    const std::optional<int> before = std::exchange(mReadyShow, id);
    if (before)
        styleSelector(*before);
    styleSelector(id);
    mGoButton->setEnabled(true);
    statusBar()->showMessage(readyText());
}

// Nothing happens while no show is ready: Enter is not a way to repeat one.
void LumivaneMainWindow::goReady()
{
    if (!mReadyShow)
        return;
    const int id = *std::exchange(mReadyShow, std::nullopt);
    styleSelector(id);
    mGoButton->setEnabled(false);
    statusBar()->clearMessage();
    doShowButton(id);
}

QString LumivaneMainWindow::readyText() const
{
    return mReadyShow ? QStringLiteral("Ready: ") + mPanel->describe(Command::show(*mReadyShow + 1)) : QString();
}

// The ready show is set in bold; a show whose start was ignored flashes.
void LumivaneMainWindow::styleSelector(int id)
{
    QString style;
    if (mReadyShow == id)
        style += QStringLiteral("font-weight: bold;");
    QRadioButton *button = showSelector(id);
    if (button->property("flashing").toBool())
        style += QStringLiteral("background-color: #ffb300;");
    button->setStyleSheet(style);
}

// Go is there only while a click only selects, in the grid's frame below
// its last row, level with Off: the window keeps its size either way.
// Turned off, a show made ready is dropped, not sent: the operator chose to
// stop selecting.
void LumivaneMainWindow::setSelectThenGo(bool on)
{
    mSelectThenGo = on;
    if (!on) {
        if (mReadyShow) {
            const bool told = statusBar()->currentMessage() == readyText();
            const int id = *std::exchange(mReadyShow, std::nullopt);
            styleSelector(id);
            if (told)
                statusBar()->clearMessage();
        }
        if (mGoButton) {
            mGoButton->setEnabled(false);
            mGoButton->hide();
            for (QShortcut *go : mGoKeys)
                go->setEnabled(false);
        }
        return;
    }
    if (!mGoButton) {
        mGoButton = new QPushButton(QStringLiteral("Go"), centralWidget());
        mGoButton->setObjectName(QStringLiteral("goButton"));
        mGoButton->setGeometry(461, 280, 71, 31);
        QFont bold = mGoButton->font();
        bold.setWeight(QFont::Bold);
        mGoButton->setFont(bold);
        mGoButton->setToolTip(QStringLiteral("Go (Enter)"));
        mGoButton->setEnabled(false);
        connect(mGoButton, &QPushButton::clicked, this, &LumivaneMainWindow::goReady);
        setTabOrder(mOffButton, mGoButton);
        // Return and the keypad's Enter, wherever the focus is in the window.
        for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Enter }) {
            auto *go = new QShortcut(QKeySequence(key), this);
            connect(go, &QShortcut::activated, this, &LumivaneMainWindow::goReady);
            mGoKeys.push_back(go);
        }
    }
    mGoButton->show();
    // Over the tabs' frame, which was made before it.
    mGoButton->raise();
    for (QShortcut *go : mGoKeys)
        go->setEnabled(true);
}

void LumivaneMainWindow::setShowName(int id, const QString &name)
{
    mPanel->setShowName(id, name);
    if (mShowButtons[id])
        applyShowName(id);
    // "Next:" names its show too.
    mStatus->showTimetable();
}

void LumivaneMainWindow::applyShowName(int id)
{
    QRadioButton *button = mShowButtons[id];
    const QString name = mPanel->showName(id);
    // A single "&" would hide itself and make the next letter an Alt
    // shortcut that starts the show; doubled, it shows as written.
    button->setText(shownName(id, name, mShowNumbers).replace(QLatin1Char('&'), QLatin1String("&&")));
    // The whole name, also where the button cuts it off. A tooltip that looks
    // like HTML is shown as HTML, so such a name goes in escaped.
    button->setToolTip(Qt::mightBeRichText(name)
                           ? QStringLiteral("<p style='white-space:pre'>%1</p>").arg(name.toHtmlEscaped())
                           : name);
    button->setAccessibleDescription(name);
}

QString LumivaneMainWindow::showName(int id) const
{
    return mPanel->showName(id);
}

void LumivaneMainWindow::setShowNumbers(bool on)
{
    mShowNumbers = on;
    for (int id = 0; id < int(mShowButtons.size()); ++id) {
        if (mShowButtons[id])
            applyShowName(id);
    }
}

QStringList LumivaneMainWindow::showNames() const
{
    QStringList names;
    for (int id = 0; id < 128; ++id)
        names << mPanel->showName(id);
    return names;
}
