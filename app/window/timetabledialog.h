#pragma once

// Stands in for the timetable's editor until it comes: it accepts the
// table it was given, unchanged.

#include "timetable/timetable.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTimeZone>
#include <QVBoxLayout>

class TimetableDialog : public QDialog
{
public:
    explicit TimetableDialog(QWidget *parent = nullptr)
        : QDialog(parent)
    {
        setWindowTitle(QStringLiteral("Timetable"));
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        (new QVBoxLayout(this))->addWidget(buttons);
    }

    void setTimetable(const Timetable::Table &table, const QString &) { mTable = table; }
    Timetable::Table timetable() const { return mTable; }
    void setRunning(bool running) { mRunning = running; }
    bool running() const { return mRunning; }
    void setLoadNamesWithoutAsking(bool without) { mWithout = without; }
    bool loadNamesWithoutAsking() const { return mWithout; }
    void setZone(const QTimeZone &) {}
    void setNow(const QDateTime &) {}

private:
    Timetable::Table mTable;
    bool mRunning = false;
    bool mWithout = false;
};
