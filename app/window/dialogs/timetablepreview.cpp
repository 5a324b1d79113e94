// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetablepreview.h"

#include "timetable/occurrences.h"

#include <QFont>

#include <algorithm>
#include <cmath>

using namespace Timetable;

namespace {

QString lineText(int line)
{
    return line ? QString::number(line) : QStringLiteral("new");
}

// "an hour", "30 minutes", "2 hours".
QString amountOfTime(int seconds)
{
    const int minutes = std::abs(seconds) / 60;
    if (minutes == 60)
        return QStringLiteral("an hour");
    if (minutes % 60 == 0)
        return QStringLiteral("%1 hours").arg(minutes / 60);
    return QStringLiteral("%1 minutes").arg(minutes);
}

// Every occurrence from `now` for seven days in the wall-clock time of
// `zone`, with the days on which none fires and the changes of the clocks.
QList<TimetablePreviewModel::Row> previewRows(const Table &table, const QTimeZone &zone, const QDateTime &now)
{
    const QDateTime end = now.addDays(7);
    struct Timed
    {
        QDateTime at;
        TimetablePreviewModel::Row row;
    };
    QList<Timed> rows;
    const auto dayText = [](QDate day) { return day.toString(u"ddd d MMM"); };
    for (const Occurrence &occurrence : between(table, zone, now, end)) {
        const Entry &entry = occurrence.entry;
        const bool seconds = entry.time.kind == Time::Kind::Clock && entry.time.clock.second() != 0;
        const QTime local = occurrence.at.toTimeZone(zone).time();
        rows.append({ occurrence.at,
                      { { dayText(occurrence.day), local.toString(seconds ? u"HH:mm:ss" : u"HH:mm"),
                          formatAction(entry.action), lineText(entry.line), entry.note } } });
    }
    const QDate last = end.toTimeZone(zone).date();
    for (QDate day = now.toTimeZone(zone).date(); day <= last; day = day.addDays(1)) {
        for (const Rest &rest : table.rests) {
            if (day < rest.from || day > rest.to)
                continue;
            rows.append({ wallInstant(day, QTime(0, 0), zone),
                          { { dayText(day), QString(), QStringLiteral("rest day"), lineText(rest.line), rest.note },
                            true } });
            break;
        }
    }
    for (const QTimeZone::OffsetData &change : zone.transitions(now, end)) {
        const int before = zone.offsetFromUtc(change.atUtc.addSecs(-1));
        const int by = change.offsetFromUtc - before;
        if (by == 0)
            continue;
        // The wall clock as it read when it changed: "02:00, clocks go forward".
        const QDateTime wall = change.atUtc.toUTC().addSecs(before);
        rows.append({ change.atUtc,
                      { { dayText(wall.date()), wall.time().toString(u"HH:mm"),
                          (by > 0 ? QStringLiteral("clocks go forward ") : QStringLiteral("clocks go back "))
                              + amountOfTime(by),
                          QString(), QString() },
                        true } });
    }
    // A day's mark before what fires at its first instant; at one instant the
    // file's order, as the entries were taken.
    std::stable_sort(rows.begin(), rows.end(), [](const Timed &a, const Timed &b) {
        return a.at != b.at ? a.at < b.at : a.row.mark > b.row.mark;
    });
    QList<TimetablePreviewModel::Row> out;
    out.reserve(rows.size());
    for (Timed &timed : rows)
        out.append(std::move(timed.row));
    return out;
}

} // namespace

void TimetablePreviewModel::show(const Table &table, const QTimeZone &zone, const QDateTime &now)
{
    beginResetModel();
    mRows = previewRows(table, zone, now);
    endResetModel();
}

int TimetablePreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(mRows.size());
}

int TimetablePreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant TimetablePreviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Row &row = mRows.at(index.row());
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == Note))
        return row.cells[index.column()];
    if (role == Qt::FontRole && row.mark) {
        QFont font;
        font.setItalic(true);
        return font;
    }
    return {};
}

QVariant TimetablePreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titles[] = { "Day", "Time", "Action", "Line", "Note" };
    return QString::fromLatin1(titles[section]);
}
