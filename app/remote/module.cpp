// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "remoteserver.h"

// What the window looks up once it loads this module.
extern "C" Q_DECL_EXPORT RemoteListener *lumivaneNewRemoteServer()
{
    return new RemoteServer;
}
