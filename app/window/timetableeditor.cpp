// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "panel/panel.h"
#include "timetabledialog.h"

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
    const TimetableClock &clock = mPanel->timetableClock();
    const QString file = mPanel->timetableFile();
    Timetable::Table shown = clock.running() ? clock.table() : Timetable::Table {};
    std::optional<QByteArray> onDisk;
    if (!file.isEmpty() && QFileInfo::exists(file)) {
        Timetable::Table read;
        const QString error = Panel::readTimetable(file, read, onDisk);
        if (error.isEmpty()) {
            shown = read;
        } else {
            const QString text = QStringLiteral("Timetable %1%2 %3")
                                     .arg(QDir::toNativeSeparators(file), onDisk ? u"," : u":", error);
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"), text, QMessageBox::Cancel, this);
            box.setInformativeText(
                (clock.running() ? QStringLiteral("The editor shows the timetable in force, read before. ")
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
    dialog.setZone(clock.zoneFor(Timetable::Table {}));
    dialog.setTimetable(shown, file, onDisk);
    dialog.setRunning(mPanel->timetableEnabled());
    dialog.setCatchUp(mPanel->timetableCatchUp());
    dialog.setLoadNamesWithoutAsking(!mAskNamesAtStart);
    connect(&dialog, &TimetableDialog::sendNow, this, &LumivaneMainWindow::sendFromEditor);
    if (dialog.exec() != QDialog::Accepted)
        return;

    mPanel->setTimetable(dialog.fileName(), dialog.running(), dialog.catchUp());
    mAskNamesAtStart = !dialog.loadNamesWithoutAsking();
    mPanel->store(Settings::askNamesAtStart, mAskNamesAtStart);
}

void LumivaneMainWindow::sendFromEditor(const Timetable::Action &action)
{
    mPanel->dispatch(Panel::commandFor(action), hand());
}
