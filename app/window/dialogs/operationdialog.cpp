// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "operationdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

OperationDialog::OperationDialog(const OperationSwitches &switches, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Operation"));

    auto *guard = new QComboBox(this);
    guard->addItem(QStringLiteral("Off"), 0);
    for (const int ms : { 300, 500, 1000 })
        guard->addItem(QStringLiteral("%1 ms").arg(ms), ms);
    // A time written into the settings by hand is offered as it is, so that
    // opening the dialog does not change it.
    if (guard->findData(switches.repeatGuardMs) < 0)
        guard->addItem(QStringLiteral("%1 ms").arg(switches.repeatGuardMs), switches.repeatGuardMs);
    guard->setCurrentIndex(guard->findData(switches.repeatGuardMs));
    auto *selectThenGo = new QCheckBox(QStringLiteral("Select a show first, then send it with Enter or Go"), this);
    selectThenGo->setChecked(switches.selectThenGo);
    auto *numbers = new QCheckBox(QStringLiteral("Show numbers on the buttons"), this);
    numbers->setChecked(switches.showNumbers);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Ignore a repeated start of a show within:"), guard);
    form->addRow(selectThenGo);
    form->addRow(numbers);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(guard, &QComboBox::currentIndexChanged, this,
            [this, guard] { emit repeatGuardChanged(guard->currentData().toInt()); });
    connect(selectThenGo, &QCheckBox::toggled, this, &OperationDialog::selectThenGoChanged);
    connect(numbers, &QCheckBox::toggled, this, &OperationDialog::showNumbersChanged);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
