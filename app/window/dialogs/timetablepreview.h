// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "timetable/timetable.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QTimeZone>

// The timetable's next seven days as the editor previews them: every
// occurrence with its day, its wall-clock time and its line, and marks for
// the rest days and the changes of the clocks. Up to seven thousand rows for
// a full timetable: a model of its own rather than an item each.
class TimetablePreviewModel : public QAbstractTableModel
{
public:
    enum Column { Day, Time, What, Line, Note, Columns };

    using QAbstractTableModel::QAbstractTableModel;

    // From `now` for seven days, in the wall-clock time of `zone`.
    void show(const Timetable::Table &table, const QTimeZone &zone, const QDateTime &now);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    struct Row
    {
        QString cells[Columns];
        bool mark = false; // a rest day or a change of the clocks, not an entry
    };

private:
    QList<Row> mRows;
};
