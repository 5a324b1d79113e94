// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journaldialog.h"

#include "link/linkstate.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// More than a night's worth, read from the newest files only.
constexpr int entriesShown = 1000;

enum Column { TimeColumn, CommandColumn, SourceColumn, OutcomeColumn, NoteColumn, Columns };

constexpr int widestColumn = 400;

const QString refused = QStringLiteral("refused: ");

// What a record's command did, as the status bar says it: "Show 7 ·
// Vernissage", "Brightness 49%", "Off". A refusal of something that never
// became a command (a timetable file, a remote message) says why instead.
QString commandText(const JournalRecord &record)
{
    if (record.command.isEmpty())
        return record.outcome.startsWith(refused) ? record.outcome.sliced(refused.size()) : QString();
    return LinkState::describeAsking(record.command, [&record](int) { return record.name; });
}

QString outcomeText(const JournalRecord &record)
{
    return record.command.isEmpty() && record.outcome.startsWith(refused) ? refused.chopped(2) : record.outcome;
}

// What the filter goes by: "remote 192.0.2.7" is "remote"; a catch-up is
// the timetable's.
QString sourceKind(const QString &source)
{
    const QString kind = source.section(u' ', 0, 0);
    return kind == QStringLiteral("catch-up") ? QStringLiteral("timetable") : kind;
}

} // namespace

JournalDialog::JournalDialog(const QString &folder, QWidget *parent)
    : QDialog(parent)
    , mJournal(folder)
{
    setWindowTitle(QStringLiteral("Journal"));
    createTable();
    createSourceFilter();

    mWhere = new QLabel(this);
    mWhere->setObjectName(QStringLiteral("journalFolder"));
    mWhere->setWordWrap(true);
    mWhere->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *open = buttons->addButton(QStringLiteral("Open Folder"), QDialogButtonBox::ActionRole);
    connect(open, &QPushButton::clicked, this, &JournalDialog::openFolder);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("Source:"), this));
    filterRow->addWidget(mSources);
    filterRow->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(mTable);
    layout->addWidget(mWhere);
    layout->addWidget(buttons);
    resize(820, 420);

    mChanged.setSingleShot(true);
    mChanged.setInterval(50);
    connect(&mChanged, &QTimer::timeout, this, &JournalDialog::readNew);
    connect(&mWatch, &QFileSystemWatcher::directoryChanged, &mChanged, qOverload<>(&QTimer::start));
    connect(&mWatch, &QFileSystemWatcher::fileChanged, &mChanged, qOverload<>(&QTimer::start));
    readAll();
    watch();
}

void JournalDialog::createTable()
{
    mTable = new QTableWidget(0, Columns, this);
    mTable->setObjectName(QStringLiteral("journalTable"));
    mTable->setHorizontalHeaderLabels({ QStringLiteral("Time"), QStringLiteral("Command"), QStringLiteral("Source"),
                                        QStringLiteral("Outcome"), QStringLiteral("Note") });
    mTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    mTable->setWordWrap(false);
    mTable->verticalHeader()->hide();
    mTable->horizontalHeader()->setStretchLastSection(true);
}

// Every source the program writes is offered from the start, so the choice
// does not depend on what the newest thousand happen to hold; another kind
// (a newer program's, sharing the folder) is added once seen.
void JournalDialog::createSourceFilter()
{
    mSources = new QComboBox(this);
    mSources->setObjectName(QStringLiteral("journalSources"));
    mSources->addItem(QStringLiteral("All"), QString());
    for (const char *kind : { "mouse", "key", "remote", "timetable" })
        mSources->addItem(QString::fromLatin1(kind), QString::fromLatin1(kind));
    connect(mSources, &QComboBox::currentIndexChanged, this, &JournalDialog::filter);
}

void JournalDialog::readAll()
{
    mTable->setRowCount(0);
    mRead = {};
    addRecords(mJournal.newest(entriesShown, &mRead));
}

// Only what was appended since the last read; after a rotation, all again.
void JournalDialog::readNew()
{
    watch();
    std::optional<QList<JournalRecord>> added = mJournal.since(mRead);
    if (!added) {
        readAll();
        return;
    }
    std::reverse(added->begin(), added->end());
    addRecords(*added);
}

// The file is watched once it is there; the folder tells when it comes, and
// when a rotation or an editor replaced it.
void JournalDialog::watch()
{
    if (mWatch.directories().isEmpty() && QDir().mkpath(mJournal.folder()))
        mWatch.addPath(mJournal.folder());
    if (mWatch.files().isEmpty() && QFileInfo::exists(mJournal.filePath()))
        mWatch.addPath(mJournal.filePath());
}

void JournalDialog::addRecords(const QList<JournalRecord> &newestFirst)
{
    for (auto record = newestFirst.crbegin(); record != newestFirst.crend(); ++record) {
        mTable->insertRow(0);
        const QString kind = sourceKind(record->source);
        if (mSources->findData(kind) < 0)
            mSources->addItem(kind, kind);
        const QString texts[Columns] = { record->when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                         commandText(*record), record->source, outcomeText(*record),
                                         record->note };
        for (int column = 0; column < Columns; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            item->setToolTip(column == CommandColumn && !record->command.isEmpty() ? QString::fromLatin1(record->command)
                                                                             : texts[column]);
            mTable->setItem(0, column, item);
        }
        mTable->item(0, SourceColumn)->setData(Qt::UserRole, kind);
    }
    mTable->setRowCount(std::min(mTable->rowCount(), entriesShown));
    // Wider for a longer text that came in, never narrower than the
    // operator made a column; a long reason is read whole in its tooltip.
    for (int column = 0; column < Columns - 1; ++column) {
        const int width = mTable->columnWidth(column);
        mTable->resizeColumnToContents(column);
        mTable->setColumnWidth(column, std::max(width, std::min(mTable->columnWidth(column), widestColumn)));
    }
    filter();
    showWhere();
}

void JournalDialog::filter()
{
    const QString kind = mSources->currentData().toString();
    for (int row = 0; row < mTable->rowCount(); ++row)
        mTable->setRowHidden(row, !kind.isEmpty() && mTable->item(row, SourceColumn)->data(Qt::UserRole) != kind);
}

void JournalDialog::openFolder()
{
    QDir().mkpath(mJournal.folder());
    mOpenFailed = !QDesktopServices::openUrl(QUrl::fromLocalFile(mJournal.folder()));
    showWhere();
}

void JournalDialog::showWhere()
{
    const QString folder = QDir::toNativeSeparators(mJournal.folder());
    const QString first = mOpenFailed ? QStringLiteral("Nothing could open the folder.")
        : mTable->rowCount() == 0     ? QStringLiteral("Nothing recorded yet.")
                                      : QStringLiteral("Newest first.");
    mWhere->setText(first + QStringLiteral(" The journal is kept in %1").arg(folder));
}
