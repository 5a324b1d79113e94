// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "shownamesdialog.h"

#include <QTableWidget>

ShowNamesDialog::ShowNamesDialog(const QStringList &names, QWidget *parent)
    : LumivaneNameDialog(parent, nullptr, false)
{
    const int rows = int(names.size());
    table->setRowCount(rows);
    table->setColumnCount(1);
    table->setColumnWidth(0, table->width() - 55);
    table->setHorizontalHeaderLabels({ QStringLiteral("Show Name") });

    QStringList numbers;
    for (int id = 0; id < rows; ++id) {
        numbers.append(QString::number(id + 1));
        table->setItem(id, 0, new QTableWidgetItem(names.at(id)));
    }
    table->setVerticalHeaderLabels(numbers);
}

QStringList ShowNamesDialog::names() const
{
    QStringList names;
    for (int id = 0; id < table->rowCount(); ++id) {
        const QTableWidgetItem *item = table->item(id, 0);
        names.append(item ? item->text() : QString());
    }
    return names;
}
