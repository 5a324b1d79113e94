// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "webserver.h"

// What the panel looks up once it loads this module.
extern "C" Q_DECL_EXPORT WebListener *lumivaneNewWebServer()
{
    return new WebServer;
}
