// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetabledialog.h"

#include "timetable/occurrences.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Timetable;

namespace {

enum EntryColumn { DaysColumn, TimeColumn, ActionColumn, NoteColumn, NextColumn, EntryColumns };
enum RestColumn { RestDaysColumn, RestNoteColumn, RestColumns };

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

bool blankRow(const QTableWidget *table, int row, int columns)
{
    for (int column = 0; column < columns; ++column) {
        if (!cellText(table, row, column).isEmpty())
            return false;
    }
    return true;
}

void setRow(QTableWidget *table, int row, const QStringList &texts)
{
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(texts.at(column)));
}

// An empty row of `columns` editable cells below the current one, or at the
// end, quietly: the editor that opens on it is what the operator fills in.
// Returns its row.
int insertBlankRow(QTableWidget *table, int columns)
{
    const int row = table->currentRow() < 0 ? table->rowCount() : table->currentRow() + 1;
    const QSignalBlocker quiet(table);
    table->insertRow(row);
    setRow(table, row, QStringList(columns));
    return row;
}

QTableWidget *newTable(const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

QString needsLocation()
{
    return QStringLiteral("sunrise and sunset need a location; fill in the latitude and the longitude");
}

// An entry's row read cell by cell; on a bad cell, what is wrong and where.
struct ReadEntry
{
    Entry entry;
    QString error;
    int column = -1;
};

ReadEntry readEntry(const QTableWidget *table, int row)
{
    ReadEntry read;
    read.entry.note = cellText(table, row, NoteColumn);
    if (QString e = parseDays(cellText(table, row, DaysColumn), read.entry.days); !e.isEmpty())
        return { {}, e, DaysColumn };
    if (QString e = parseTime(cellText(table, row, TimeColumn), read.entry.time); !e.isEmpty())
        return { {}, e, TimeColumn };
    if (QString e = parseAction(cellText(table, row, ActionColumn), read.entry.action); !e.isEmpty())
        return { {}, e, ActionColumn };
    return read;
}

QString readRest(const QTableWidget *table, int row, Rest &rest)
{
    rest.note = cellText(table, row, RestNoteColumn);
    return parseRest(cellText(table, row, RestDaysColumn), rest.from, rest.to);
}

// Both fields empty is no location, which only entries using the sun need.
// On an error, `wrong` is the field to put right.
QString readLocation(QLineEdit *latitude, QLineEdit *longitude, std::optional<Location> &out,
                     QLineEdit **wrong = nullptr)
{
    out.reset();
    const QString lat = latitude->text().trimmed();
    const QString lon = longitude->text().trimmed();
    if (lat.isEmpty() && lon.isEmpty())
        return {};
    const auto refuse = [wrong](QLineEdit *field, const QString &error) {
        if (wrong)
            *wrong = field;
        return error;
    };
    if (lat.isEmpty() || lon.isEmpty())
        return refuse(lat.isEmpty() ? latitude : longitude,
                      QStringLiteral("give both the latitude and the longitude, or neither"));
    // The file's reader takes both numbers from one line; a blank inside a
    // field would shift them.
    const auto notNumber = [](const char *what, const QString &text, int limit) {
        return QStringLiteral("the %1 \"%2\" is not a number from -%3 to %3")
            .arg(QLatin1StringView(what), text)
            .arg(limit);
    };
    if (lat.contains(u' '))
        return refuse(latitude, notNumber("latitude", lat, 90));
    if (lon.contains(u' '))
        return refuse(longitude, notNumber("longitude", lon, 180));
    Location location;
    // The latitude alone first, so that the error names the right field.
    if (QString error = parseLocation(QString(lat + QStringLiteral(" 0")), location); !error.isEmpty())
        return refuse(latitude, error);
    if (QString error = parseLocation(QString(lat + u' ' + lon), location); !error.isEmpty())
        return refuse(longitude, error);
    out = location;
    return {};
}

// "Sat 12 Dec 16:17" in the zone's wall-clock time; seconds only where the
// entry names them, the year only when it is not this one.
QString describeNext(const Entry &entry, const EntryNext &next, const QTimeZone &zone,
                     const QDateTime &now)
{
    if (!next.at)
        return next.whyNot;
    const QDateTime local = next.at->toTimeZone(zone);
    const bool seconds = entry.time.kind == Time::Kind::Clock && entry.time.clock.second() != 0;
    const bool otherYear = local.date().year() != now.toTimeZone(zone).date().year();
    // QDateTime's own formats name days and months in English whatever the
    // system's language, as the rest of the dialog is.
    QString format = QStringLiteral("ddd d MMM");
    if (otherYear)
        format += QStringLiteral(" yyyy");
    format += seconds ? QStringLiteral(" HH:mm:ss") : QStringLiteral(" HH:mm");
    return local.toString(format);
}

} // namespace

TimetableDialog::TimetableDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Timetable"));
    buildEntries();
    buildRests();
    buildLayout();
    resize(780, 600);
}

void TimetableDialog::buildEntries()
{
    mEntries = newTable({ QStringLiteral("Days"), QStringLiteral("Time"), QStringLiteral("Action"),
                          QStringLiteral("Note"), QStringLiteral("Next") },
                        this);
    mEntries->setObjectName(QStringLiteral("entries"));
    mEntries->setColumnWidth(DaysColumn, 130);
    mEntries->setColumnWidth(TimeColumn, 90);
    mEntries->setColumnWidth(ActionColumn, 110);
    mEntries->setColumnWidth(NoteColumn, 200);
    mAddEntry = new QPushButton(QStringLiteral("Add"), this);
    mRemoveEntry = new QPushButton(QStringLiteral("Remove"), this);
    mMoveUp = new QPushButton(QStringLiteral("Move Up"), this);
    mMoveDown = new QPushButton(QStringLiteral("Move Down"), this);
    mAddEntry->setObjectName(QStringLiteral("addEntry"));
    mRemoveEntry->setObjectName(QStringLiteral("removeEntry"));
    mMoveUp->setObjectName(QStringLiteral("moveUp"));
    mMoveDown->setObjectName(QStringLiteral("moveDown"));

    connect(mAddEntry, &QPushButton::clicked, this, &TimetableDialog::addEntry);
    connect(mRemoveEntry, &QPushButton::clicked, this, &TimetableDialog::removeEntry);
    connect(mMoveUp, &QPushButton::clicked, this, [this] { moveEntry(-1); });
    connect(mMoveDown, &QPushButton::clicked, this, [this] { moveEntry(1); });
    connect(mEntries, &QTableWidget::currentCellChanged, this, &TimetableDialog::updateButtons);
    connect(mEntries, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        // Writing the next occurrence changes an item too.
        if (item->column() != NextColumn)
            showNext(item->row(), context());
    });
}

void TimetableDialog::buildRests()
{
    mRests = newTable({ QStringLiteral("Date or FROM..TO"), QStringLiteral("Note") }, this);
    mRests->setObjectName(QStringLiteral("rests"));
    mRests->setColumnWidth(RestDaysColumn, 170);
    mAddRest = new QPushButton(QStringLiteral("Add"), this);
    mRemoveRest = new QPushButton(QStringLiteral("Remove"), this);
    mAddRest->setObjectName(QStringLiteral("addRest"));
    mRemoveRest->setObjectName(QStringLiteral("removeRest"));
    mLatitude = new QLineEdit(this);
    mLongitude = new QLineEdit(this);
    mLatitude->setObjectName(QStringLiteral("latitude"));
    mLongitude->setObjectName(QStringLiteral("longitude"));
    mLatitude->setPlaceholderText(QStringLiteral("e.g. 52.52, north positive"));
    mLongitude->setPlaceholderText(QStringLiteral("e.g. 13.405, east positive"));

    connect(mAddRest, &QPushButton::clicked, this, &TimetableDialog::addRest);
    connect(mRemoveRest, &QPushButton::clicked, this, &TimetableDialog::removeRest);
    connect(mRests, &QTableWidget::currentCellChanged, this, &TimetableDialog::updateButtons);
    // Rest days and the location change every entry's next occurrence.
    connect(mRests, &QTableWidget::itemChanged, this, &TimetableDialog::showAllNext);
    connect(mLatitude, &QLineEdit::textChanged, this, &TimetableDialog::showAllNext);
    connect(mLongitude, &QLineEdit::textChanged, this, &TimetableDialog::showAllNext);
}

void TimetableDialog::buildLayout()
{
    mFileName = new QLabel(this);
    mFileName->setObjectName(QStringLiteral("fileName"));
    mFileName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *hint = new QLabel(
        QStringLiteral("Days: daily, weekdays, weekends, Mon to Sun, Mon,Wed,Fri, Mon-Fri or a date "
                       "2026-12-31. Time: 20:00, 07:30:00, sunset+15 or sunrise-30. "
                       "Action: show 12, brightness 40 or off."),
        this);
    hint->setWordWrap(true);
    mRunning = new QCheckBox(QStringLiteral("Run the timetable"), this);
    mLoadNames = new QCheckBox(QStringLiteral("Load the last name file at start without asking"), this);
    mError = new QLabel(this);
    mError->setObjectName(QStringLiteral("error"));
    mError->setWordWrap(true);
    mError->setStyleSheet(QStringLiteral("color: #b00000"));
    mError->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TimetableDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TimetableDialog::reject);

    auto *entryButtons = new QHBoxLayout;
    for (QPushButton *button : { mAddEntry, mRemoveEntry, mMoveUp, mMoveDown })
        entryButtons->addWidget(button);
    entryButtons->addStretch();

    auto *restButtons = new QHBoxLayout;
    restButtons->addWidget(mAddRest);
    restButtons->addWidget(mRemoveRest);
    restButtons->addStretch();
    auto *rests = new QGroupBox(QStringLiteral("Rest days (no entry fires)"), this);
    auto *restLayout = new QVBoxLayout(rests);
    restLayout->addWidget(mRests);
    restLayout->addLayout(restButtons);

    auto *location = new QGroupBox(QStringLiteral("Location (for sunrise and sunset)"), this);
    auto *locationLayout = new QFormLayout(location);
    locationLayout->addRow(QStringLiteral("Latitude:"), mLatitude);
    locationLayout->addRow(QStringLiteral("Longitude:"), mLongitude);

    auto *lower = new QHBoxLayout;
    lower->addWidget(rests, 3);
    lower->addWidget(location, 2, Qt::AlignTop);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mFileName);
    layout->addWidget(mEntries, 3);
    layout->addLayout(entryButtons);
    layout->addWidget(hint);
    layout->addLayout(lower, 2);
    layout->addWidget(mRunning);
    layout->addWidget(mLoadNames);
    layout->addWidget(mError);
    layout->addWidget(buttons);
    updateButtons();
}

void TimetableDialog::setTimetable(const Table &table, const QString &fileName)
{
    mFileName->setText(fileName.isEmpty() ? QStringLiteral("Not saved yet")
                                          : QStringLiteral("File: ") + QDir::toNativeSeparators(fileName));
    {
        const QSignalBlocker entriesQuiet(mEntries);
        const QSignalBlocker restsQuiet(mRests);
        const QSignalBlocker latitudeQuiet(mLatitude);
        const QSignalBlocker longitudeQuiet(mLongitude);
        mEntries->setRowCount(int(table.entries.size()));
        for (int row = 0; row < mEntries->rowCount(); ++row) {
            const Entry &entry = table.entries.at(row);
            setRow(mEntries, row, { formatDays(entry.days), formatTime(entry.time),
                                    formatAction(entry.action), entry.note });
        }
        mRests->setRowCount(int(table.rests.size()));
        for (int row = 0; row < mRests->rowCount(); ++row) {
            const Rest &rest = table.rests.at(row);
            setRow(mRests, row, { formatRest(rest.from, rest.to), rest.note });
        }
        const QString numbers = table.location ? formatLocation(*table.location) : QString();
        mLatitude->setText(numbers.section(u' ', 0, 0));
        mLongitude->setText(numbers.section(u' ', 1, 1));
    }
    mResult = {};
    mError->hide();
    showAllNext();
    updateButtons();
}

void TimetableDialog::setRunning(bool on)
{
    mRunning->setChecked(on);
}

bool TimetableDialog::running() const
{
    return mRunning->isChecked();
}

void TimetableDialog::setLoadNamesWithoutAsking(bool on)
{
    mLoadNames->setChecked(on);
}

bool TimetableDialog::loadNamesWithoutAsking() const
{
    return mLoadNames->isChecked();
}

void TimetableDialog::setZone(const QTimeZone &zone)
{
    mZone = zone;
    showAllNext();
}

void TimetableDialog::setNow(std::function<QDateTime()> now)
{
    mNow = std::move(now);
    showAllNext();
}

Table TimetableDialog::context() const
{
    Table table;
    readLocation(mLatitude, mLongitude, table.location);
    for (int row = 0; row < mRests->rowCount(); ++row) {
        Rest rest;
        if (readRest(mRests, row, rest).isEmpty())
            table.rests.append(rest);
    }
    return table;
}

void TimetableDialog::showNext(int row, const Table &context)
{
    QString text;
    if (!blankRow(mEntries, row, NextColumn)) {
        const ReadEntry read = readEntry(mEntries, row);
        if (!read.error.isEmpty()) {
            text = read.error;
        } else if (read.entry.time.usesSun() && !context.location) {
            text = needsLocation();
        } else {
            const QDateTime now = mNow();
            text = describeNext(read.entry, nextOf(context, read.entry, mZone, now), mZone, now);
        }
    }
    QTableWidgetItem *item = mEntries->item(row, NextColumn);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        mEntries->setItem(row, NextColumn, item);
    }
    item->setText(text);
    item->setToolTip(text);
}

void TimetableDialog::showAllNext()
{
    const Table table = context();
    for (int row = 0; row < mEntries->rowCount(); ++row)
        showNext(row, table);
}

void TimetableDialog::addEntry()
{
    const int row = insertBlankRow(mEntries, NextColumn);
    showNext(row, context());
    mEntries->setCurrentCell(row, DaysColumn);
    mEntries->editItem(mEntries->item(row, DaysColumn));
    updateButtons();
}

void TimetableDialog::removeEntry()
{
    if (mEntries->currentRow() >= 0)
        mEntries->removeRow(mEntries->currentRow());
    updateButtons();
}

void TimetableDialog::moveEntry(int by)
{
    const int from = mEntries->currentRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= mEntries->rowCount())
        return;
    const QSignalBlocker quiet(mEntries);
    for (int column = 0; column < EntryColumns; ++column) {
        QTableWidgetItem *a = mEntries->takeItem(from, column);
        QTableWidgetItem *b = mEntries->takeItem(to, column);
        mEntries->setItem(to, column, a);
        mEntries->setItem(from, column, b);
    }
    mEntries->setCurrentCell(to, mEntries->currentColumn());
    updateButtons();
}

void TimetableDialog::addRest()
{
    const int row = insertBlankRow(mRests, RestColumns);
    mRests->setCurrentCell(row, RestDaysColumn);
    mRests->editItem(mRests->item(row, RestDaysColumn));
    updateButtons();
}

void TimetableDialog::removeRest()
{
    if (mRests->currentRow() >= 0)
        mRests->removeRow(mRests->currentRow());
    showAllNext();
    updateButtons();
}

void TimetableDialog::updateButtons()
{
    const bool room = mEntries->rowCount() + mRests->rowCount() < maxItems;
    const int row = mEntries->currentRow();
    mAddEntry->setEnabled(room);
    mAddRest->setEnabled(room);
    mRemoveEntry->setEnabled(row >= 0);
    mMoveUp->setEnabled(row > 0);
    mMoveDown->setEnabled(row >= 0 && row + 1 < mEntries->rowCount());
    mRemoveRest->setEnabled(mRests->currentRow() >= 0);
}

void TimetableDialog::accept()
{
    const auto refuse = [this](const QString &what, QTableWidget *table, int row, int column) {
        mError->setText(what);
        mError->show();
        if (table) {
            table->setCurrentCell(row, column);
            table->setFocus();
        }
    };

    Table table;
    int firstSunRow = -1;
    // A row left blank, as Add leaves it, holds nothing to keep.
    for (int row = 0; row < mEntries->rowCount(); ++row) {
        if (blankRow(mEntries, row, NextColumn))
            continue;
        const ReadEntry read = readEntry(mEntries, row);
        if (!read.error.isEmpty())
            return refuse(QStringLiteral("Row %1: %2").arg(row + 1).arg(read.error), mEntries, row,
                          read.column);
        if (read.entry.time.usesSun() && firstSunRow < 0)
            firstSunRow = row;
        table.entries.append(read.entry);
    }
    for (int row = 0; row < mRests->rowCount(); ++row) {
        if (blankRow(mRests, row, RestColumns))
            continue;
        Rest rest;
        if (QString error = readRest(mRests, row, rest); !error.isEmpty())
            return refuse(QStringLiteral("Rest days, row %1: %2").arg(row + 1).arg(error), mRests, row,
                          RestDaysColumn);
        table.rests.append(rest);
    }
    QLineEdit *wrong = nullptr;
    if (QString error = readLocation(mLatitude, mLongitude, table.location, &wrong); !error.isEmpty()) {
        refuse(QStringLiteral("Location: ") + error, nullptr, 0, 0);
        wrong->setFocus();
        return;
    }
    if (firstSunRow >= 0 && !table.location) {
        return refuse(QStringLiteral("Row %1: ").arg(firstSunRow + 1) + needsLocation(), mEntries,
                      firstSunRow, TimeColumn);
    }
    if (table.entries.size() + table.rests.size() > maxItems)
        return refuse(QStringLiteral("More than %1 entries and rest days").arg(maxItems), nullptr, 0, 0);

    // Through the file format and back, so that what the caller gets is
    // exactly what the file it writes will read as, line numbers included.
    const Parsed parsed = parse(QStringView(format(table)));
    if (!parsed.ok())
        return refuse(parsed.error, nullptr, 0, 0);
    mResult = parsed.table;
    mError->hide();
    QDialog::accept();
}
