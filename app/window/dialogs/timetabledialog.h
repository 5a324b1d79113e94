// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "timetable/timetable.h"
#include "timetable/timetableclock.h"

#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QTimeZone>
#include <QTimer>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTabWidget;
class TimetablePreviewModel;

// The timetable's editor: the entries, each with its next occurrence and
// its line in the file, the rest days, the place and the zone, the next
// seven days, and the settings that go with the timetable. OK saves a
// changed plan to its file, keeping each line that did not change as it was
// written, and closes only once it is saved; nothing typed is dropped
// without asking. Storing the settings is the caller's.
class TimetableDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TimetableDialog(QWidget *parent);

    // Shows `table`, the plan of `fileName`, whose bytes were `onDisk` when
    // it was read (nothing: there was no such file). A save keeps the lines
    // of those bytes that did not change, and asks before replacing a file
    // that is no longer those bytes. An empty fileName: never saved; OK asks
    // for a name once there is a plan to save.
    void setTimetable(const Timetable::Table &table, const QString &fileName,
                      const std::optional<QByteArray> &onDisk = std::nullopt);
    void setRunning(bool on);
    bool running() const;
    void setCatchUp(Timetable::CatchUp mode);
    Timetable::CatchUp catchUp() const;
    void setLoadNamesWithoutAsking(bool on);
    bool loadNamesWithoutAsking() const;
    // The computer's zone, the one a table without a zone line runs in; the
    // system's by default.
    void setZone(const QTimeZone &zone);
    void setNow(std::function<QDateTime()> now);

    // After OK: the plan as its file now holds it, line numbers included
    // (empty before), and that file, which Open... or Save As... may have
    // changed. Open... and Save As... touch no file until OK.
    Timetable::Table timetable() const { return mResult; }
    QString fileName() const { return mFileName; }

    // Takes the plan when every field reads, and saves it first when it
    // changed or goes to another file; stays open when it was not saved.
    void accept() override;
    // Escape, Cancel and the window's close button: a changed plan is saved,
    // dropped or kept open as the operator answers.
    void reject() override;

signals:
    // Send Now on an entry that reads: its action, to go out as a click would.
    void sendNow(const Timetable::Action &action);

private:
    // The plan as the fields hold it, or the first that does not read.
    struct Read
    {
        Timetable::Table table;
        QString error;
        QWidget *field = nullptr; // to put right; a table's cell at row, column
        int row = 0;
        int column = 0;
    };

    void buildEntries();
    void buildPlace();
    void buildPreview();
    void buildLayout();

    void load(const Timetable::Table &table, const QString &fileName, const std::optional<QByteArray> &onDisk);
    void showFileName();
    void addEntry();
    void removeEntry();
    void moveEntry(int by);
    void addRest();
    void removeRest();
    void updateButtons();
    void openFile();
    void saveAs();
    void sendSelected();

    Read readPlan() const;
    void refuse(const Read &read);
    bool changedFromFile(const Timetable::Table &plan) const;
    bool unsaved() const;
    bool save(const Timetable::Table &plan);
    bool overwriteAllowed(const QString &fileName);

    // The location and the rest days as far as they read now: what each
    // entry's next occurrence depends on besides its own row.
    Timetable::Table context() const;
    // The zone typed when it reads, else the computer's.
    QTimeZone zoneInForce() const;
    void showNext(int row, const Timetable::Table &context);
    void showAllNext();
    void zoneEdited();
    void placeEdited();
    void showNoonWarning();
    void planEdited();
    void showPreview();

    QTabWidget *mTabs = nullptr;
    QWidget *mPreviewPage = nullptr;
    QTableWidget *mEntries = nullptr;
    QTableWidget *mRests = nullptr;
    QLineEdit *mLatitude = nullptr;
    QLineEdit *mLongitude = nullptr;
    QComboBox *mZoneField = nullptr;
    QCheckBox *mRunning = nullptr;
    QComboBox *mCatchUp = nullptr;
    QCheckBox *mLoadNames = nullptr;
    QLabel *mFileLabel = nullptr;
    QLabel *mNoonWarning = nullptr;
    QLabel *mPreviewZone = nullptr;
    QLabel *mError = nullptr;
    QPushButton *mAddEntry = nullptr;
    QPushButton *mRemoveEntry = nullptr;
    QPushButton *mMoveUp = nullptr;
    QPushButton *mMoveDown = nullptr;
    QPushButton *mSendNow = nullptr;
    QPushButton *mAddRest = nullptr;
    QPushButton *mRemoveRest = nullptr;
    QTableView *mPreview = nullptr;
    TimetablePreviewModel *mPreviewModel = nullptr;
    // The preview waits for a pause in the typing, and for its tab.
    QTimer mPreviewTimer;
    bool mPreviewStale = true;

    QTimeZone mZone = QTimeZone::systemTimeZone();
    QTimeZone mShownZone; // what the Next column and the preview are in
    std::function<QDateTime()> mNow = [] { return QDateTime::currentDateTimeUtc(); };
    // Where OK saves; the file the plan shown was read from, its bytes then,
    // and the plan; the file the caller gave.
    QString mFileName;
    QString mReadFrom;
    std::optional<QByteArray> mOnDisk;
    Timetable::Table mShown;
    QString mGivenFile;
    Timetable::Table mResult;
};
