// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

// The operator's guards against accidents, as File, Operation... sets them.
struct OperationSwitches
{
    // A start of the show started less than this long ago is ignored; 0 never.
    int repeatGuardMs = 0;
    // A click or an arrow key only selects a show; Enter or Go sends it.
    bool selectThenGo = false;
    // A named show's selector reads "12 · Vernissage".
    bool showNumbers = false;
};

// File, Operation...: each change is told at once, to take effect and be
// stored at once; the dialog has only Close.
class OperationDialog : public QDialog
{
    Q_OBJECT

public:
    OperationDialog(const OperationSwitches &switches, QWidget *parent);

signals:
    void repeatGuardChanged(int ms);
    void selectThenGoChanged(bool on);
    void showNumbersChanged(bool on);
};
