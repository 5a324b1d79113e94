// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "statusline.h"

#include <QFontMetricsF>
#include <QResizeEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

QList<int> allotStatusWidths(int room, const QList<StatusWant> &byImportance)
{
    QList<int> widths;
    int left = room;
    for (const StatusWant &want : byImportance) {
        widths << want.least;
        left -= want.least;
    }
    for (qsizetype i = 0; i < byImportance.size() && left > 0; ++i) {
        const int more = std::clamp(byImportance[i].whole - byImportance[i].least, 0, left);
        widths[i] += more;
        left -= more;
    }
    if (!widths.isEmpty() && left > 0)
        widths.last() += left;
    return widths;
}

StatusLabel::StatusLabel(Qt::TextElideMode mode, QWidget *parent)
    : QLabel(parent)
    , mMode(mode)
{
}

void StatusLabel::setWhole(const QString &text, const QString &tip)
{
    mWhole = text;
    mTip = tip;
    updateGeometry();
    // Laid out at once, so that the label says what is right for its new
    // room now, not only once the event loop has come round.
    if (QLayout *row = parentWidget() ? parentWidget()->layout() : nullptr)
        row->activate();
    fit();
}

QSize StatusLabel::sizeHint() const
{
    return { wholeWidth() + frameAndMargins(), QLabel::sizeHint().height() };
}

QSize StatusLabel::minimumSizeHint() const
{
    return { qMin(sizeHint().width(), fontMetrics().horizontalAdvance(QStringLiteral("Xxx…")) + frameAndMargins()),
             QLabel::minimumSizeHint().height() };
}

void StatusLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

// QFontMetrics rounds a text's width, while elidedText() measures it to a
// fraction of a pixel: given its rounded width, a text a fraction wider
// would lose three letters to "…".
int StatusLabel::wholeWidth() const
{
    return int(std::ceil(QFontMetricsF(font()).horizontalAdvance(mWhole)));
}

int StatusLabel::frameAndMargins() const
{
    const QMargins around = contentsMargins();
    return around.left() + around.right() + 2 * margin();
}

void StatusLabel::fit()
{
    const int room = contentsRect().width() - 2 * margin();
    const QString shown = wholeWidth() <= room ? mWhole : fontMetrics().elidedText(mWhole, mMode, room);
    setText(shown);
    QStringList tips;
    if (shown != mWhole)
        tips << mWhole;
    if (!mTip.isEmpty())
        tips << mTip;
    setToolTip(tips.join(QLatin1Char('\n')));
}

StatusRow::StatusRow(QWidget *parent)
    : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(6);
}

StatusRow::~StatusRow()
{
    for (const Piece &piece : std::as_const(mPieces))
        delete piece.item;
}

void StatusRow::addWidget(QWidget *widget, int rank)
{
    addChildWidget(widget);
    mPieces.append({ new QWidgetItem(widget), rank });
    invalidate();
}

void StatusRow::addItem(QLayoutItem *item)
{
    mPieces.append({ item, std::numeric_limits<int>::max() });
}

int StatusRow::count() const
{
    return int(mPieces.size());
}

QLayoutItem *StatusRow::itemAt(int index) const
{
    return index >= 0 && index < mPieces.size() ? mPieces[index].item : nullptr;
}

QLayoutItem *StatusRow::takeAt(int index)
{
    return index >= 0 && index < mPieces.size() ? mPieces.takeAt(index).item : nullptr;
}

QList<StatusRow::Piece> StatusRow::shown() const
{
    QList<Piece> pieces;
    for (const Piece &piece : mPieces) {
        if (!piece.item->isEmpty())
            pieces << piece;
    }
    return pieces;
}

QSize StatusRow::sizeHint() const
{
    const QList<Piece> pieces = shown();
    QSize hint(qMax(0, int(pieces.size()) - 1) * spacing(), 0);
    for (const Piece &piece : pieces)
        hint = { hint.width() + piece.item->sizeHint().width(), qMax(hint.height(), piece.item->sizeHint().height()) };
    return hint;
}

QSize StatusRow::minimumSize() const
{
    const QList<Piece> pieces = shown();
    QSize least(qMax(0, int(pieces.size()) - 1) * spacing(), 0);
    for (const Piece &piece : pieces)
        least = { least.width() + piece.item->minimumSize().width(),
                  qMax(least.height(), piece.item->minimumSize().height()) };
    return least;
}

void StatusRow::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QList<Piece> pieces = shown();
    if (pieces.isEmpty())
        return;
    QList<int> byImportance(pieces.size());
    std::iota(byImportance.begin(), byImportance.end(), 0);
    std::stable_sort(byImportance.begin(), byImportance.end(),
                     [&pieces](int a, int b) { return pieces[a].rank < pieces[b].rank; });
    QList<StatusWant> wants;
    for (const int i : byImportance)
        wants << StatusWant { pieces[i].item->minimumSize().width(), pieces[i].item->sizeHint().width() };
    const QList<int> allotted = allotStatusWidths(rect.width() - int(pieces.size() - 1) * spacing(), wants);
    QList<int> widths(pieces.size());
    for (qsizetype k = 0; k < byImportance.size(); ++k)
        widths[byImportance[k]] = allotted[k];
    int x = rect.left();
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        pieces[i].item->setGeometry(QRect(x, rect.top(), widths[i], rect.height()));
        x += widths[i] + spacing();
    }
}

Qt::Orientations StatusRow::expandingDirections() const
{
    return Qt::Horizontal;
}
