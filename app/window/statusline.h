// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>
#include <QLayout>
#include <QList>

// The status bar's pieces: labels that cut their text only when their room
// is short, and the row that decides who is short of room.

// Widths for the pieces of one row, given in order of importance: each gets
// its least; then, the most important first, as much as its whole text asks;
// the last one takes whatever is left, so the row fills the room.
struct StatusWant
{
    int least = 0;
    int whole = 0;
};
QList<int> allotStatusWidths(int room, const QList<StatusWant> &byImportance);

// One line of the status bar in the room the row gives it: the whole text,
// or as much as fits, cut with "…" (a line cut mid-letter reads as a
// different line); then the whole of it in the tooltip, above any tip of its own.
class StatusLabel : public QLabel
{
public:
    StatusLabel(Qt::TextElideMode mode, QWidget *parent);

    void setWhole(const QString &text, const QString &tip = QString());
    QString whole() const { return mWhole; }

    // Asks for the whole text, so the label grows back as the bar widens.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int wholeWidth() const;
    int frameAndMargins() const;
    void fit();

    Qt::TextElideMode mMode;
    QString mWhole;
    QString mTip;
};

// Lays its widgets out left to right as allotStatusWidths() gives the room:
// a widget of a lower rank is cut later, and the one of the highest rank
// takes what is left. A hidden widget takes no room.
class StatusRow : public QLayout
{
public:
    explicit StatusRow(QWidget *parent);
    ~StatusRow() override;

    void addWidget(QWidget *widget, int rank);

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;
    Qt::Orientations expandingDirections() const override;

private:
    struct Piece
    {
        QLayoutItem *item;
        int rank;
    };
    QList<Piece> shown() const;

    QList<Piece> mPieces;
};
