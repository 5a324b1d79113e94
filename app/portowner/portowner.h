// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <optional>

// Which Lumivane holds a serial port, for the one that finds it taken. The
// port's own lock says only that it is taken; a note beside it says by
// whom: "Lumivane (service, process 1234)". The notes live where every user
// may write (/run/lock on Linux, %ProgramData%\Lumivane on Windows), since a
// service and a window run as different users.
namespace PortOwner {

// Notes that this process, as `role` ("window", "service"), now holds `port`.
void claim(const QString &port, const QString &role);
// Takes the note away again, if it is this process's.
void release(const QString &port);
// "Lumivane (service, process 1234)", when a Lumivane that still runs holds
// `port`; nothing when no note names a live one.
std::optional<QString> holder(const QString &port);

// Where the note for `port` is kept (the folder may be set for tests by
// LUMIVANE_LOCK_DIR).
QString notePath(const QString &port);

} // namespace PortOwner
