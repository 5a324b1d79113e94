// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "timetabledialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

// Saves where the operator chose, whole or not at all, and only then puts
// the new timetable and switches in force.
void LumivaneMainWindow::doTimetable()
{
    // A file that cannot be read as it stands, perhaps a long one with one
    // line mistyped by hand, is not silently replaced by what OK saves.
    Timetable::Table shown = mTimetable.running() ? mTimetable.table() : Timetable::Table {};
    if (!mTimetableFile.isEmpty() && QFileInfo::exists(mTimetableFile)) {
        Timetable::Table onDisk;
        QByteArray bytes;
        const QString error = readTimetable(onDisk, bytes);
        if (error.isEmpty()) {
            if (!mTimetable.running())
                shown = onDisk;
        } else {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"), error, QMessageBox::Cancel, this);
            box.setInformativeText(
                (mTimetable.running() ? QStringLiteral("The editor shows the timetable in force, read before. ")
                                      : QStringLiteral("The editor shows an empty timetable. "))
                + QStringLiteral("OK there replaces the file with it."));
            QPushButton *open = box.addButton(QStringLiteral("Open the Editor"), QMessageBox::AcceptRole);
            box.setDefaultButton(QMessageBox::Cancel);
            box.exec();
            if (box.clickedButton() != open)
                return;
        }
    }
    TimetableDialog dialog(this);
    dialog.setTimetable(shown, mTimetableFile);
    dialog.setRunning(mTimetableEnabled);
    dialog.setLoadNamesWithoutAsking(!mAskNamesAtStart);
    dialog.setZone(mTimetable.zone().isValid() ? mTimetable.zone() : QTimeZone::systemTimeZone());
    dialog.setNow([] { return QDateTime::currentDateTimeUtc(); });
    if (dialog.exec() != QDialog::Accepted)
        return;

    QString fileName = mTimetableFile;
    if (fileName.isEmpty()) {
        fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Timetable"), QString(),
                                                QStringLiteral("Timetables (*.txt);;All files (*)"));
        if (fileName.isEmpty())
            return;
    }
    const Timetable::Table table = dialog.timetable();
    QSaveFile file(fileName);
    const QByteArray bytes = Timetable::format(table).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"),
                        QStringLiteral("Could not save the timetable\n") + fileName, QMessageBox::Ok, this);
        box.setInformativeText(file.errorString());
        box.exec();
        return;
    }

    const bool wasRunning = mTimetable.running();
    mTimetableFile = fileName;
    mTimetableEnabled = dialog.running();
    mAskNamesAtStart = !dialog.loadNamesWithoutAsking();
    storeTimetableFile();
    storeTimetableEnabled();
    storeAskNamesAtStart();
    mTimetableBytes = bytes;
    watchTimetable();
    if (!mTimetableEnabled) {
        mTimetable.stop();
    } else if (!wasRunning) {
        // Switched on: catch-up, as at start.
        mTimetable.start(table, mTimetableCatchUp != Timetable::CatchUp::Off);
    } else if (table != mTimetable.table()) {
        // Saved while running: in force from now, nothing that has passed.
        mTimetable.start(table, false);
    }
    showNext();
}
