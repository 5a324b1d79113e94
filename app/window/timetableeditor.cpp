// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "dialogs/timetabledialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

// The editor saves the plan itself, and closes only once it is saved or
// the operator dropped it; here the settings are stored and the file is
// put in force as it now is.
void LumivaneMainWindow::doTimetable()
{
    // A file that cannot be read as it stands, perhaps a long one with one
    // line mistyped by hand, is not silently replaced by what the editor saves.
    Timetable::Table shown = mTimetable.running() ? mTimetable.table() : Timetable::Table {};
    std::optional<QByteArray> onDisk;
    if (!mTimetableFile.isEmpty() && QFileInfo::exists(mTimetableFile)) {
        Timetable::Table read;
        const QString error = readTimetable(mTimetableFile, read, onDisk);
        if (error.isEmpty()) {
            shown = read;
        } else {
            const QString text = QStringLiteral("Timetable %1%2 %3")
                                     .arg(QDir::toNativeSeparators(mTimetableFile), onDisk ? u"," : u":", error);
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"), text, QMessageBox::Cancel, this);
            box.setInformativeText(
                (mTimetable.running() ? QStringLiteral("The editor shows the timetable in force, read before. ")
                                      : QStringLiteral("The editor shows an empty timetable. "))
                + QStringLiteral("Saving it there replaces the file."));
            QPushButton *open = box.addButton(QStringLiteral("Open the Editor"), QMessageBox::AcceptRole);
            box.setDefaultButton(QMessageBox::Cancel);
            box.exec();
            if (box.clickedButton() != open)
                return;
        }
    }
    TimetableDialog dialog(this);
    dialog.setZone(mTimetable.zoneFor(Timetable::Table {}));
    dialog.setTimetable(shown, mTimetableFile, onDisk);
    dialog.setRunning(mTimetableEnabled);
    dialog.setCatchUp(mTimetableCatchUp);
    dialog.setLoadNamesWithoutAsking(!mAskNamesAtStart);
    connect(&dialog, &TimetableDialog::sendNow, this, &LumivaneMainWindow::sendFromEditor);
    if (dialog.exec() != QDialog::Accepted)
        return;

    mTimetableFile = dialog.fileName();
    mTimetableEnabled = dialog.running();
    mTimetableCatchUp = dialog.catchUp();
    mAskNamesAtStart = !dialog.loadNamesWithoutAsking();
    storeTimetableFile();
    storeTimetableEnabled();
    storeTimetableCatchUp();
    storeAskNamesAtStart();
    startTimetable();
}

void LumivaneMainWindow::sendFromEditor(const Timetable::Action &action)
{
    switch (action.kind) {
    case Timetable::Action::Kind::Show:
        // Checked where it stands, as a click checks it; the repeat guard
        // and the line take it from there.
        showSelector(action.value - 1)->setChecked(true);
        doShowButton(action.value - 1);
        break;
    case Timetable::Action::Kind::Brightness:
        sendBrightnessPercent(action.value);
        break;
    case Timetable::Action::Kind::Off:
        doOff();
        break;
    }
}
