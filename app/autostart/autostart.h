// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Windows starting the window at this user's log-on: the value "Lumivane"
// under HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run,
// naming this program. Another copy of it named there counts as off, so
// ticking it points Windows at the copy in use.
namespace Autostart {

bool enabled();
// Empty when done; else why, as the operator is told.
QString setEnabled(bool on);

} // namespace Autostart
