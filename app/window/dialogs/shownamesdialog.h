// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "lumivanenamedialog.h"

#include <QStringList>

// File, Edit Show Names: the form's table, a row for each show with its
// number, filled with the names given.
class ShowNamesDialog : public LumivaneNameDialog
{
public:
    ShowNamesDialog(const QStringList &names, QWidget *parent);

    // The names as the table holds them, one for each name given.
    QStringList names() const;
};
