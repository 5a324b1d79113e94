// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Lumivane with no window and no display, for a computer in a cabinet: the
// port and its watch, the timetable with its catch-up, the journal, remote
// control and the browser panel, from the user's settings. It never asks:
// what the window would show in a box goes to standard error and the
// journal, one line each, and it goes on. SIGTERM, SIGINT and SIGHUP end it
// as they end the window, the frame on the line completed and the port let
// go. A QCoreApplication must exist; returns the exit status.
int runService();
