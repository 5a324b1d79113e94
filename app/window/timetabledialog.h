// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "timetable/timetable.h"

#include <QDateTime>
#include <QDialog>
#include <QTimeZone>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The timetable's editor: the entries, each with its next occurrence, the
// rest days, the location and the two switches. OK takes the table only
// when every cell reads; writing it to a file is the caller's.
class TimetableDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TimetableDialog(QWidget *parent);

    // An empty fileName: the table has never been saved.
    void setTimetable(const Timetable::Table &table, const QString &fileName);
    void setRunning(bool on);
    bool running() const;
    void setLoadNamesWithoutAsking(bool on);
    bool loadNamesWithoutAsking() const;
    // Where the next occurrences are reckoned from; the system's by default.
    void setZone(const QTimeZone &zone);
    void setNow(std::function<QDateTime()> now);

    // What OK took, with the line numbers it has in the file format() writes;
    // empty before accept().
    Timetable::Table timetable() const { return mResult; }

    void accept() override;

private:
    void buildEntries();
    void buildRests();
    void buildLayout();

    void addEntry();
    void removeEntry();
    void moveEntry(int by);
    void addRest();
    void removeRest();
    void updateButtons();

    // The location and the rest days as far as they read now: what each
    // entry's next occurrence depends on besides its own row.
    Timetable::Table context() const;
    void showNext(int row, const Timetable::Table &context);
    void showAllNext();

    QTableWidget *mEntries = nullptr;
    QTableWidget *mRests = nullptr;
    QLineEdit *mLatitude = nullptr;
    QLineEdit *mLongitude = nullptr;
    QCheckBox *mRunning = nullptr;
    QCheckBox *mLoadNames = nullptr;
    QLabel *mFileName = nullptr;
    QLabel *mError = nullptr;
    QPushButton *mAddEntry = nullptr;
    QPushButton *mRemoveEntry = nullptr;
    QPushButton *mMoveUp = nullptr;
    QPushButton *mMoveDown = nullptr;
    QPushButton *mAddRest = nullptr;
    QPushButton *mRemoveRest = nullptr;

    QTimeZone mZone = QTimeZone::systemTimeZone();
    std::function<QDateTime()> mNow = [] { return QDateTime::currentDateTimeUtc(); };
    Timetable::Table mResult;
};
