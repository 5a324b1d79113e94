// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanenamedialog.h"

#include <QEvent>
#include <QPushButton>
#include <QTableWidget>

LumivaneNameDialog::LumivaneNameDialog(QWidget *parent, const char *name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    setModal(modal);
    setObjectName(name ? QLatin1String(name) : QLatin1String("LumivaneNameDialog"));

    table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("table"));
    table->setGeometry(0, 0, 360, 430);
    table->setRowCount(128);
    table->setColumnCount(1);

    okButton = new QPushButton(this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(250, 440, 101, 31);

    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(130, 440, 101, 31);

    languageChange();
    resize(QSize(360, 481).expandedTo(minimumSizeHint()));

    connect(cancelButton, &QPushButton::clicked, this, &LumivaneNameDialog::reject);
    connect(okButton, &QPushButton::clicked, this, &LumivaneNameDialog::accept);
}

void LumivaneNameDialog::accept()
{
    // A cell still being edited commits its text only when the edit ends;
    // moving the current cell away ends it, so OK never loses the last edit.
    table->setCurrentIndex(QModelIndex());
    QDialog::accept();
}

void LumivaneNameDialog::languageChange()
{
    setWindowTitle(tr("Show Names"));
    okButton->setText(tr("OK"));
    cancelButton->setText(tr("Cancel"));
}

void LumivaneNameDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
