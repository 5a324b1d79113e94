// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetablewarning.h"

#include <QDir>
#include <QMessageBox>
#include <QPushButton>

bool askToEditUnreadable(QWidget *parent, const QString &fileName, bool read, const QString &error, bool inForce)
{
    const QString text = QStringLiteral("Timetable %1%2 %3")
                             .arg(QDir::toNativeSeparators(fileName), read ? u"," : u":", error);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumivane"), text, QMessageBox::Cancel, parent);
    box.setInformativeText(
        (inForce ? QStringLiteral("The editor shows the timetable in force, read before. ")
                 : QStringLiteral("The editor shows an empty timetable. "))
        + QStringLiteral("Saving it there replaces the file."));
    QPushButton *open = box.addButton(QStringLiteral("Open the Editor"), QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == open;
}
