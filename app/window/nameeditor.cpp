// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "lumivanenamedialog.h"

#include <QTableWidget>

void LumivaneMainWindow::doEditNames()
{
    const auto dialog = std::make_unique<LumivaneNameDialog>(this, nullptr, false);
    QTableWidget *table = dialog->table;
    const int rows = int(mShowButtons.size());
    table->setRowCount(rows);
    table->setColumnCount(1);
    table->setColumnWidth(0, table->width() - 55);
    table->setHorizontalHeaderLabels({ QStringLiteral("Show Name") });

    QStringList numbers;
    for (int id = 0; id < rows; ++id) {
        numbers.append(QString::number(id + 1));
        table->setItem(id, 0, new QTableWidgetItem(showName(id)));
    }
    table->setVerticalHeaderLabels(numbers);

    if (dialog->exec() != QDialog::Accepted)
        return;
    const QStringList before = showNames();
    for (int id = 0; id < rows; ++id) {
        const QTableWidgetItem *item = table->item(id, 0);
        setShowName(id, item ? item->text() : QString());
    }
    mNamesChanged = mNamesChanged || showNames() != before;
}
