// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "service.h"

#include "ending/ending.h"
#include "panel/panel.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// One line, as a system's log shows it (journalctl -u lumivane).
void say(const QString &text)
{
    std::fprintf(stderr, "lumivane: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

int runService()
{
    EndOnSignals ending;
    Panel panel;
    panel.setRole(QStringLiteral("service"));
    const auto tell = [&panel](const QString &text) {
        say(text);
        panel.record(text);
    };
    QObject::connect(&panel, &Panel::message, &panel, [tell](const QString &text) { tell(text); });
    QObject::connect(&panel, &Panel::portOpened, &panel, [&panel] {
        say(QStringLiteral("serial port %1 is open").arg(panel.portName()));
    });

    panel.start();
    say(QStringLiteral("running as a service, process %1").arg(QCoreApplication::applicationPid()));
    if (!panel.portOpen()) {
        tell(QStringLiteral("serial port %1 is not open: %2").arg(panel.portName(), panel.whyNotOpen()));
        // Taken, by another Lumivane or any program: nobody is there to
        // close it, and opening it later would raise its lines under that
        // program. The system's service manager may try again.
        if (panel.portBusy())
            return 1;
    }
    if (panel.remoteConfig().enabled && panel.remote().listening())
        say(QStringLiteral("remote control: ") + panel.remote().status());
    if (panel.webConfig().enabled && panel.web().listening())
        say(QStringLiteral("browser panel: ") + panel.web().status());
    if (const StatusText next = panel.nextText(); next.shown)
        say(next.text);
    // A signal during the start ended no loop yet.
    if (ending.requested())
        return 0;
    return QCoreApplication::exec();
}
