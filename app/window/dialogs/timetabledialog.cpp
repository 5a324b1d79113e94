// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetabledialog.h"

#include "files/regularfile.h"
#include "savequestion.h"
#include "timetablepreview.h"
#include "timetable/occurrences.h"
#include "timetable/sun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Timetable;

namespace {

enum EntryColumn { DaysColumn, TimeColumn, ActionColumn, NoteColumn, NextColumn, EntryColumns };
enum RestColumn { RestDaysColumn, RestNoteColumn, RestColumns };

QString fileFilters()
{
    return QStringLiteral("Timetables (*.txt);;All files (*)");
}

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

QString lineText(int line)
{
    return line ? QString::number(line) : QStringLiteral("new");
}

// A row's header is its line in the file, the number the journal names
// ("timetable line 4"); a row added since has none until it is saved.
void setLine(QTableWidget *table, int row, int line)
{
    auto *header = new QTableWidgetItem(lineText(line));
    header->setData(Qt::UserRole, line);
    table->setVerticalHeaderItem(row, header);
}

int lineOf(const QTableWidget *table, int row)
{
    const QTableWidgetItem *header = table->verticalHeaderItem(row);
    return header ? header->data(Qt::UserRole).toInt() : 0;
}

// How a message names a row: by its line, as its header does.
QString rowName(const QTableWidget *table, int row)
{
    const int line = lineOf(table, row);
    return line ? QStringLiteral("line %1").arg(line) : QStringLiteral("row %1 (new)").arg(row + 1);
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
    setLine(table, row, 0);
    return row;
}

QTableWidget *newTable(const QStringList &headers, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
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
    read.entry.line = lineOf(table, row);
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
    rest.line = lineOf(table, row);
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

// The file's text as read, a byte order mark kept as a character so that a
// save writes it back.
QString fileText(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

} // namespace

TimetableDialog::TimetableDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Timetable"));
    buildEntries();
    buildPlace();
    buildPreview();
    buildLayout();
    resize(820, 660);
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
    mSendNow = new QPushButton(QStringLiteral("Send Now"), this);
    mAddEntry->setObjectName(QStringLiteral("addEntry"));
    mRemoveEntry->setObjectName(QStringLiteral("removeEntry"));
    mMoveUp->setObjectName(QStringLiteral("moveUp"));
    mMoveDown->setObjectName(QStringLiteral("moveDown"));
    mSendNow->setObjectName(QStringLiteral("sendNow"));
    mSendNow->setToolTip(QStringLiteral("Sends the selected entry's action now, as a click in the window would"));

    connect(mAddEntry, &QPushButton::clicked, this, &TimetableDialog::addEntry);
    connect(mRemoveEntry, &QPushButton::clicked, this, &TimetableDialog::removeEntry);
    connect(mMoveUp, &QPushButton::clicked, this, [this] { moveEntry(-1); });
    connect(mMoveDown, &QPushButton::clicked, this, [this] { moveEntry(1); });
    connect(mSendNow, &QPushButton::clicked, this, &TimetableDialog::sendSelected);
    connect(mEntries, &QTableWidget::currentCellChanged, this, &TimetableDialog::updateButtons);
    connect(mEntries, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        // Writing the next occurrence changes an item too.
        if (item->column() == NextColumn)
            return;
        showNext(item->row(), context());
        updateButtons();
        planEdited();
    });
}

void TimetableDialog::buildPlace()
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

    mZoneField = new QComboBox(this);
    mZoneField->setObjectName(QStringLiteral("zone"));
    mZoneField->setEditable(true);
    mZoneField->setInsertPolicy(QComboBox::NoInsert);
    mZoneField->addItem(QString());
    for (const QByteArray &id : QTimeZone::availableTimeZoneIds())
        mZoneField->addItem(QString::fromLatin1(id));
    mZoneField->completer()->setCompletionMode(QCompleter::PopupCompletion);
    mZoneField->completer()->setFilterMode(Qt::MatchContains);
    mZoneField->completer()->setCaseSensitivity(Qt::CaseInsensitive);

    connect(mAddRest, &QPushButton::clicked, this, &TimetableDialog::addRest);
    connect(mRemoveRest, &QPushButton::clicked, this, &TimetableDialog::removeRest);
    connect(mRests, &QTableWidget::currentCellChanged, this, &TimetableDialog::updateButtons);
    // Rest days and the location change every entry's next occurrence.
    connect(mRests, &QTableWidget::itemChanged, this, &TimetableDialog::placeEdited);
    connect(mLatitude, &QLineEdit::textChanged, this, &TimetableDialog::placeEdited);
    connect(mLongitude, &QLineEdit::textChanged, this, &TimetableDialog::placeEdited);
    connect(mZoneField, &QComboBox::editTextChanged, this, &TimetableDialog::zoneEdited);
}

void TimetableDialog::buildPreview()
{
    mPreviewModel = new TimetablePreviewModel(this);
    mPreview = new QTableView(this);
    mPreview->setObjectName(QStringLiteral("preview"));
    mPreview->setModel(mPreviewModel);
    mPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    mPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mPreview->setWordWrap(false);
    mPreview->verticalHeader()->hide();
    // Rows of one height: measuring thousands of rows would take longer than
    // computing them.
    mPreview->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    mPreview->horizontalHeader()->setStretchLastSection(true);
    mPreview->setColumnWidth(TimetablePreviewModel::Day, 110);
    mPreview->setColumnWidth(TimetablePreviewModel::Time, 70);
    mPreview->setColumnWidth(TimetablePreviewModel::What, 230);
    mPreview->setColumnWidth(TimetablePreviewModel::Line, 50);
    mPreviewZone = new QLabel(this);
    mPreviewZone->setObjectName(QStringLiteral("previewZone"));

    mPreviewTimer.setSingleShot(true);
    mPreviewTimer.setInterval(300);
    connect(&mPreviewTimer, &QTimer::timeout, this, [this] {
        if (mTabs->currentWidget() == mPreviewPage)
            showPreview();
    });
}

void TimetableDialog::buildLayout()
{
    mFileLabel = new QLabel(this);
    mFileLabel->setObjectName(QStringLiteral("fileName"));
    mFileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *open = new QPushButton(QStringLiteral("Open..."), this);
    auto *saveAs = new QPushButton(QStringLiteral("Save As..."), this);
    open->setObjectName(QStringLiteral("openFile"));
    saveAs->setObjectName(QStringLiteral("saveAs"));
    open->setToolTip(QStringLiteral("Shows a timetable file; on OK it becomes the timetable's file"));
    saveAs->setToolTip(QStringLiteral("Chooses another file; OK saves the timetable there"));
    connect(open, &QPushButton::clicked, this, &TimetableDialog::openFile);
    connect(saveAs, &QPushButton::clicked, this, &TimetableDialog::saveAs);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(mFileLabel, 1);
    fileRow->addWidget(open);
    fileRow->addWidget(saveAs);

    auto *hint = new QLabel(
        QStringLiteral("Days: daily, weekdays, weekends, Mon to Sun, Mon,Wed,Fri, Mon-Fri or a date "
                       "2026-12-31. Time: 20:00, 07:30:00, sunset+15 or sunrise-30. "
                       "Action: show 12, brightness 40 or off. The row headers are the lines of the file."),
        this);
    hint->setWordWrap(true);
    auto *entryButtons = new QHBoxLayout;
    for (QPushButton *button : { mAddEntry, mRemoveEntry, mMoveUp, mMoveDown })
        entryButtons->addWidget(button);
    entryButtons->addStretch();
    entryButtons->addWidget(mSendNow);
    auto *entriesPage = new QWidget(this);
    auto *entriesLayout = new QVBoxLayout(entriesPage);
    entriesLayout->addWidget(mEntries);
    entriesLayout->addLayout(entryButtons);
    entriesLayout->addWidget(hint);

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
    auto *zone = new QGroupBox(QStringLiteral("Time zone of the times"), this);
    auto *zoneLayout = new QFormLayout(zone);
    zoneLayout->addRow(QStringLiteral("Zone:"), mZoneField);
    auto *place = new QVBoxLayout;
    place->addWidget(location);
    place->addWidget(zone);
    place->addStretch();
    auto *placePage = new QWidget(this);
    auto *placeLayout = new QHBoxLayout(placePage);
    placeLayout->addWidget(rests, 3);
    placeLayout->addLayout(place, 2);

    mPreviewPage = new QWidget(this);
    auto *previewLayout = new QVBoxLayout(mPreviewPage);
    previewLayout->addWidget(mPreviewZone);
    previewLayout->addWidget(mPreview);

    mTabs = new QTabWidget(this);
    mTabs->setObjectName(QStringLiteral("tabs"));
    mTabs->addTab(entriesPage, QStringLiteral("Entries"));
    mTabs->addTab(placePage, QStringLiteral("Rest days and place"));
    mTabs->addTab(mPreviewPage, QStringLiteral("Next seven days"));
    connect(mTabs, &QTabWidget::currentChanged, this, [this] {
        if (mTabs->currentWidget() == mPreviewPage && mPreviewStale)
            showPreview();
    });

    mNoonWarning = new QLabel(this);
    mNoonWarning->setObjectName(QStringLiteral("noonWarning"));
    mNoonWarning->setWordWrap(true);
    mNoonWarning->setStyleSheet(QStringLiteral("color: #8a4b00"));
    mNoonWarning->hide();

    mRunning = new QCheckBox(QStringLiteral("Run the timetable"), this);
    mCatchUp = new QComboBox(this);
    mCatchUp->setObjectName(QStringLiteral("catchUp"));
    mCatchUp->addItem(QStringLiteral("Send what was missed"), int(CatchUp::Missed));
    mCatchUp->addItem(QStringLiteral("Always restore the plan's state"), int(CatchUp::Always));
    mCatchUp->addItem(QStringLiteral("Never"), int(CatchUp::Off));
    mCatchUp->setToolTip(QStringLiteral("What the timetable sends of the past week when it comes into force, "
                                        "as at start: the latest show and brightness"));
    mLoadNames = new QCheckBox(QStringLiteral("Load the last name file at start without asking"), this);
    auto *settings = new QGroupBox(QStringLiteral("Settings (kept by Lumivane, not in the file)"), this);
    auto *settingsLayout = new QFormLayout(settings);
    settingsLayout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    settingsLayout->addRow(mRunning);
    settingsLayout->addRow(QStringLiteral("Catch-up at start:"), mCatchUp);
    settingsLayout->addRow(mLoadNames);

    mError = new QLabel(this);
    mError->setObjectName(QStringLiteral("error"));
    mError->setWordWrap(true);
    mError->setStyleSheet(QStringLiteral("color: #b00000"));
    mError->hide();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TimetableDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TimetableDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fileRow);
    layout->addWidget(mTabs, 1);
    layout->addWidget(mNoonWarning);
    layout->addWidget(settings);
    layout->addWidget(mError);
    layout->addWidget(buttons);
    showFileName();
    zoneEdited();
    updateButtons();
}

void TimetableDialog::setTimetable(const Table &table, const QString &fileName,
                                   const std::optional<QByteArray> &onDisk)
{
    mGivenFile = fileName;
    load(table, fileName, onDisk);
}

void TimetableDialog::load(const Table &table, const QString &fileName, const std::optional<QByteArray> &onDisk)
{
    mFileName = fileName;
    mReadFrom = fileName;
    mOnDisk = onDisk;
    mShown = table;
    {
        const QSignalBlocker entriesQuiet(mEntries);
        const QSignalBlocker restsQuiet(mRests);
        const QSignalBlocker latitudeQuiet(mLatitude);
        const QSignalBlocker longitudeQuiet(mLongitude);
        const QSignalBlocker zoneQuiet(mZoneField);
        mEntries->setRowCount(int(table.entries.size()));
        for (int row = 0; row < mEntries->rowCount(); ++row) {
            const Entry &entry = table.entries.at(row);
            setRow(mEntries, row, { formatDays(entry.days), formatTime(entry.time),
                                    formatAction(entry.action), entry.note });
            setLine(mEntries, row, entry.line);
        }
        mRests->setRowCount(int(table.rests.size()));
        for (int row = 0; row < mRests->rowCount(); ++row) {
            const Rest &rest = table.rests.at(row);
            setRow(mRests, row, { formatRest(rest.from, rest.to), rest.note });
            setLine(mRests, row, rest.line);
        }
        const QString numbers = table.location ? formatLocation(*table.location) : QString();
        mLatitude->setText(numbers.section(u' ', 0, 0));
        mLongitude->setText(numbers.section(u' ', 1, 1));
        mZoneField->setEditText(table.zone);
    }
    mResult = {};
    mError->hide();
    showFileName();
    // Every row anew, in whatever zone.
    mShownZone = QTimeZone();
    zoneEdited();
    updateButtons();
}

void TimetableDialog::showFileName()
{
    if (mFileName.isEmpty()) {
        mFileLabel->setText(QStringLiteral("Not saved yet"));
        return;
    }
    QString text = QStringLiteral("File: ") + QDir::toNativeSeparators(mFileName);
    if (mFileName != mReadFrom)
        text += QStringLiteral(" (saved there on OK)");
    mFileLabel->setText(text);
}

void TimetableDialog::setRunning(bool on)
{
    mRunning->setChecked(on);
}

bool TimetableDialog::running() const
{
    return mRunning->isChecked();
}

void TimetableDialog::setCatchUp(CatchUp mode)
{
    mCatchUp->setCurrentIndex(mCatchUp->findData(int(mode)));
}

CatchUp TimetableDialog::catchUp() const
{
    return CatchUp(mCatchUp->currentData().toInt());
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
    mZoneField->lineEdit()->setPlaceholderText(
        QStringLiteral("This computer's zone (%1)").arg(QString::fromUtf8(zone.id())));
    zoneEdited();
}

void TimetableDialog::setNow(std::function<QDateTime()> now)
{
    mNow = std::move(now);
    showAllNext();
    showNoonWarning();
    planEdited();
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

QTimeZone TimetableDialog::zoneInForce() const
{
    QString id;
    if (parseZone(mZoneField->currentText(), id).isEmpty())
        return QTimeZone(id.toUtf8());
    return mZone;
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
            text = describeNext(read.entry, nextOf(context, read.entry, mShownZone, now), mShownZone, now);
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

// A zone half typed is none yet: until it reads, the times shown are the
// computer's zone's, as they would run.
void TimetableDialog::zoneEdited()
{
    const QTimeZone zone = zoneInForce();
    if (zone == mShownZone)
        return showNoonWarning();
    mShownZone = zone;
    mPreviewZone->setText(QStringLiteral("Every time an entry fires from now for seven days, with rest days "
                                         "and changes of the clocks; times in %1.")
                              .arg(QString::fromUtf8(zone.id())));
    showAllNext();
    showNoonWarning();
    planEdited();
}

void TimetableDialog::placeEdited()
{
    showAllNext();
    showNoonWarning();
    planEdited();
}

// A location hours away from the zone, as a plan copied from another site
// without its zone line, puts every sun time hours off.
void TimetableDialog::showNoonWarning()
{
    std::optional<Location> location;
    QString text;
    if (readLocation(mLatitude, mLongitude, location).isEmpty() && location) {
        const QTime noon = Sun::noon(location->longitude, mNow().toTimeZone(mShownZone).date(), mShownZone).toTimeZone(mShownZone).time();
        if (noon < QTime(10, 0) || noon > QTime(14, 30)) {
            text = QStringLiteral("Solar noon at the location is %1 in %2: the plan's zone and the location "
                                  "probably disagree.")
                       .arg(noon.toString(u"HH:mm"), QString::fromUtf8(mShownZone.id()));
        }
    }
    mNoonWarning->setText(text);
    mNoonWarning->setVisible(!text.isEmpty());
}

void TimetableDialog::planEdited()
{
    mPreviewStale = true;
    mPreviewTimer.start();
}

void TimetableDialog::showPreview()
{
    mPreviewStale = false;
    mPreviewTimer.stop();
    // What reads of the plan: a row being typed is left out until it does.
    Table table = context();
    for (int row = 0; row < mEntries->rowCount(); ++row) {
        if (const ReadEntry read = readEntry(mEntries, row); read.error.isEmpty())
            table.entries.append(read.entry);
    }
    mPreviewModel->show(table, mShownZone, mNow());
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
    planEdited();
}

void TimetableDialog::moveEntry(int by)
{
    const int from = mEntries->currentRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= mEntries->rowCount())
        return;
    {
        const QSignalBlocker quiet(mEntries);
        for (int column = 0; column < EntryColumns; ++column) {
            QTableWidgetItem *a = mEntries->takeItem(from, column);
            QTableWidgetItem *b = mEntries->takeItem(to, column);
            mEntries->setItem(to, column, a);
            mEntries->setItem(from, column, b);
        }
        // The line goes with its entry: it is still that line of the file.
        QTableWidgetItem *a = mEntries->takeVerticalHeaderItem(from);
        QTableWidgetItem *b = mEntries->takeVerticalHeaderItem(to);
        mEntries->setVerticalHeaderItem(to, a);
        mEntries->setVerticalHeaderItem(from, b);
    }
    mEntries->setCurrentCell(to, mEntries->currentColumn());
    updateButtons();
    planEdited();
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
    placeEdited();
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
    mSendNow->setEnabled(row >= 0 && readEntry(mEntries, row).error.isEmpty());
    mRemoveRest->setEnabled(mRests->currentRow() >= 0);
}

void TimetableDialog::sendSelected()
{
    const int row = mEntries->currentRow();
    if (row < 0)
        return;
    if (const ReadEntry read = readEntry(mEntries, row); read.error.isEmpty())
        emit sendNow(read.entry.action);
}

void TimetableDialog::openFile()
{
    if (Read read = readPlan(); !read.error.isEmpty() || changedFromFile(read.table)) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Lumivane"),
                        QStringLiteral("The timetable has changed. Open another one in its place?"),
                        QMessageBox::NoButton, this);
        QPushButton *discard = box.addButton(QStringLiteral("Discard Changes"), QMessageBox::DestructiveRole);
        QPushButton *cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() != discard)
            return;
    }
    const QString fileName = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Timetable"), mFileName.isEmpty() ? QString() : QFileInfo(mFileName).absolutePath(),
        fileFilters());
    if (fileName.isEmpty())
        return;
    QByteArray bytes;
    QString error = readRegularFile(fileName, maxFileBytes + 1, bytes);
    Parsed parsed;
    if (error.isEmpty()) {
        parsed = parse(QByteArrayView(bytes));
        error = parsed.error;
    }
    if (!error.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                        QStringLiteral("Could not open the timetable\n") + QDir::toNativeSeparators(fileName),
                        QMessageBox::Ok, this);
        box.setInformativeText(error);
        box.exec();
        return;
    }
    load(parsed.table, fileName, bytes);
}

void TimetableDialog::saveAs()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Timetable As"), mFileName,
                                                          fileFilters());
    if (fileName.isEmpty())
        return;
    mFileName = fileName;
    showFileName();
}

TimetableDialog::Read TimetableDialog::readPlan() const
{
    Read read;
    const auto refuse = [&read](const QString &what, QWidget *field, int row = 0, int column = 0) {
        read.table = {};
        read.error = what;
        read.field = field;
        read.row = row;
        read.column = column;
        return read;
    };
    // Upper case at the start of a message.
    const auto capital = [](QString text) {
        text[0] = text.at(0).toUpper();
        return text;
    };

    Table &table = read.table;
    int firstSunRow = -1;
    // A row left blank, as Add leaves it, holds nothing to keep.
    for (int row = 0; row < mEntries->rowCount(); ++row) {
        if (blankRow(mEntries, row, NextColumn))
            continue;
        const ReadEntry entry = readEntry(mEntries, row);
        if (!entry.error.isEmpty())
            return refuse(capital(rowName(mEntries, row)) + QStringLiteral(": ") + entry.error, mEntries, row,
                          entry.column);
        if (entry.entry.time.usesSun() && firstSunRow < 0)
            firstSunRow = row;
        table.entries.append(entry.entry);
    }
    for (int row = 0; row < mRests->rowCount(); ++row) {
        if (blankRow(mRests, row, RestColumns))
            continue;
        Rest rest;
        if (QString error = readRest(mRests, row, rest); !error.isEmpty())
            return refuse(QStringLiteral("Rest days, %1: %2").arg(rowName(mRests, row), error), mRests, row,
                          RestDaysColumn);
        table.rests.append(rest);
    }
    QLineEdit *wrong = nullptr;
    if (QString error = readLocation(mLatitude, mLongitude, table.location, &wrong); !error.isEmpty())
        return refuse(QStringLiteral("Location: ") + error, wrong);
    if (const QString zone = mZoneField->currentText().trimmed(); !zone.isEmpty()) {
        if (QString error = parseZone(zone, table.zone); !error.isEmpty())
            return refuse(QStringLiteral("Zone: ") + error, mZoneField);
    }
    if (firstSunRow >= 0 && !table.location)
        return refuse(capital(rowName(mEntries, firstSunRow)) + QStringLiteral(": ") + needsLocation(), mEntries,
                      firstSunRow, TimeColumn);
    if (table.entries.size() + table.rests.size() > maxItems)
        return refuse(QStringLiteral("More than %1 entries and rest days").arg(maxItems), nullptr);
    return read;
}

void TimetableDialog::refuse(const Read &read)
{
    mError->setText(read.error);
    mError->show();
    if (!read.field)
        return;
    for (int page = 0; page < mTabs->count(); ++page) {
        if (mTabs->widget(page)->isAncestorOf(read.field))
            mTabs->setCurrentIndex(page);
    }
    if (auto *table = qobject_cast<QTableWidget *>(read.field))
        table->setCurrentCell(read.row, read.column);
    read.field->setFocus();
}

// What the file needs saving for: the plan, not the switches, which are
// settings and never touch it.
bool TimetableDialog::changedFromFile(const Table &plan) const
{
    return format(plan) != format(mShown) || mFileName != mReadFrom;
}

bool TimetableDialog::unsaved() const
{
    const Read read = readPlan();
    return !read.error.isEmpty() || changedFromFile(read.table) || mFileName != mGivenFile;
}

void TimetableDialog::accept()
{
    const Read read = readPlan();
    if (!read.error.isEmpty())
        return refuse(read);
    mError->hide();
    if (changedFromFile(read.table)) {
        if (!save(read.table))
            return;
    } else {
        mResult = read.table;
    }
    QDialog::accept();
}

void TimetableDialog::reject()
{
    if (!unsaved())
        return QDialog::reject();
    switch (askToSave(this, QStringLiteral("The timetable has changed. Save it?"))) {
    case SaveAnswer::Discard:
        QDialog::reject();
        break;
    case SaveAnswer::Save:
        accept();
        break;
    case SaveAnswer::Cancel:
        break;
    }
}

// Whole or not at all: a save that fails leaves the file as it was.
bool TimetableDialog::save(const Table &plan)
{
    QString fileName = mFileName;
    if (fileName.isEmpty()) {
        fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Timetable"), QString(), fileFilters());
        if (fileName.isEmpty())
            return false;
    }
    if (fileName == mReadFrom && !overwriteAllowed(fileName))
        return false;
    // The file as it was read is what keeps its lines, in a copy under
    // another name too; one that did not read is replaced whole. Its bytes
    // are checked before they are decoded, which would make good text of any.
    QString original;
    Table before;
    if (mOnDisk && parse(QByteArrayView(*mOnDisk)).ok()) {
        original = fileText(*mOnDisk);
        before = parse(QStringView(original)).table;
    }
    const QString text = rewrite(original, before, plan);
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                        QStringLiteral("Could not save the timetable\n") + QDir::toNativeSeparators(fileName),
                        QMessageBox::Ok, this);
        box.setInformativeText(file.errorString());
        box.exec();
        return false;
    }
    mResult = parse(QStringView(text)).table;
    mFileName = fileName;
    mReadFrom = fileName;
    mOnDisk = bytes;
    mShown = mResult;
    showFileName();
    return true;
}

// The file may have been edited by hand, or replaced by a copy, while the
// editor was open: what is there now is not dropped without asking.
bool TimetableDialog::overwriteAllowed(const QString &fileName)
{
    if (!QFileInfo::exists(fileName))
        return true;
    // Not a regular file any more, as a pipe put there, is a change too.
    QByteArray now;
    if (readRegularFile(fileName, maxFileBytes + 1, now).isEmpty() && mOnDisk && now == *mOnDisk)
        return true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                    QStringLiteral("The timetable file has changed since the editor read it\n")
                        + QDir::toNativeSeparators(fileName),
                    QMessageBox::NoButton, this);
    box.setInformativeText(QStringLiteral("Overwrite replaces it with the timetable shown here."));
    QPushButton *overwrite = box.addButton(QStringLiteral("Overwrite"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == overwrite;
}
