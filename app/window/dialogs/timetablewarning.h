// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class QWidget;

// Before File, Timetable... opens on a file that does not read as it
// stands: says why, and what saving from the editor would do to it. `read`
// says whether the file's bytes could be read at all; `inForce` whether a
// timetable read before is running, which the editor then shows. True when
// the operator chose to open the editor all the same.
bool askToEditUnreadable(QWidget *parent, const QString &fileName, bool read, const QString &error, bool inForce);
