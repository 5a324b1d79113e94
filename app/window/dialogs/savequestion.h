// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class QWidget;

// What the operator answers when unsaved changes are about to go: Save is
// the default, Escape cancels.
enum class SaveAnswer { Save, Discard, Cancel };
SaveAnswer askToSave(QWidget *parent, const QString &question);
