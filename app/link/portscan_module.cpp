// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portlist.h"

#include "modulepath.h"

#include <QLibrary>

namespace PortList {

namespace {

using Scan = void (*)(QList<Found> *);

struct Module
{
    Scan scan = nullptr;
    QString error;
};

// Loaded on the first call and never unloaded; a module that would not load
// is not tried again, so each Setup does not pay for the search.
const Module &module()
{
    static const Module loaded = [] {
        QLibrary library(modulePath(QStringLiteral("ports")));
        Module m;
        m.scan = reinterpret_cast<Scan>(library.resolve(LUMIVANE_PORTS_SCAN));
        if (!m.scan)
            m.error = library.errorString();
        return m;
    }();
    return loaded;
}

} // namespace

QList<Found> findPorts()
{
    QList<Found> ports;
    if (const Scan scan = module().scan)
        scan(&ports);
    return ports;
}

QString scanError()
{
    return module().error;
}

} // namespace PortList
