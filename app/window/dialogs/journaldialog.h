// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "journal/journal.h"

#include <QDialog>
#include <QFileSystemWatcher>
#include <QTimer>

class QComboBox;
class QLabel;
class QTableWidget;

// File, Journal...: the newest records first, each command in words, with
// the timetable entry's note; records that this program or another one
// sharing the folder writes while it is open come in at the top. It changes
// nothing, so it stays within reach while the window is locked.
class JournalDialog : public QDialog
{
    Q_OBJECT

public:
    JournalDialog(const QString &folder, QWidget *parent);

private:
    void createTable();
    void createSourceFilter();
    void readAll();
    void readNew();
    void watch();
    // newestFirst go above the rows there are.
    void addRecords(const QList<JournalRecord> &newestFirst);
    void filter();
    void openFolder();
    void showWhere();

    Journal mJournal;
    Journal::Mark mRead;
    QTableWidget *mTable = nullptr;
    QComboBox *mSources = nullptr;
    QLabel *mWhere = nullptr;
    // Open Folder found nothing to open it with: the path is there to copy.
    bool mOpenFailed = false;
    QFileSystemWatcher mWatch;
    // Gathers the notices of one write (the lock file, then the journal)
    // into one read.
    QTimer mChanged;
};
