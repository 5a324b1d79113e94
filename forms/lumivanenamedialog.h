// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;

// A one-column table of show names with OK and Cancel, at fixed positions.
class LumivaneNameDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LumivaneNameDialog(QWidget *parent = nullptr, const char *name = nullptr,
                                bool modal = false, Qt::WindowFlags flags = {});

    QTableWidget *table = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

public slots:
    void accept() override;

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;
};
