// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ending.h"

#include <QSocketNotifier>

// A GUI process on Windows gets no console signals, and the system lets go
// of the port's handle, and its exclusive share mode, when the process ends.
EndOnSignals::EndOnSignals() = default;
EndOnSignals::~EndOnSignals() = default;
