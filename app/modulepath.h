// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QString>

// Where a module made by lumivane_add_module() is: lib/lumivane/modules
// beside the program's folder. QLibrary adds the suffix.
inline QString modulePath(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/lumivane/modules/") + name;
}
