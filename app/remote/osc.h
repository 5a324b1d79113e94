// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "remotecommand.h"

#include <QByteArray>
#include <QList>

// The OSC 1.0 subset Lumivane answers to, decoded from one datagram:
//   /lumivane/show i|f N            start show N (1 to 128)
//   /lumivane/show/N [i|f|T|F]      start show N; an argument 0 or F is a
//                                   button's release and does nothing
//   /lumivane/brightness f|i        f: fraction of full 0.0-1.0, i: percent 0-100
//   /lumivane/off [i|f|T|F]         off; 0 or F does nothing
//   /lumivane/state                 the state, answered to the sender
// Bundles, nested too, are unpacked in order; their time tags are ignored.
namespace Osc {

struct Decoded
{
    QList<RemoteCommand> commands;
    // Why each message that changed nothing was refused: "show 200: a show
    // is 1 to 128", "/lumivane/Show: unknown address". A malformed packet is
    // refused once, as a whole, and yields no command at all.
    QList<QByteArray> refused;
    // Releases (argument 0 or F) are neither commands nor faults.
    int released = 0;
};

Decoded decode(const QByteArray &packet);

// A message with one string argument: the answer to /lumivane/state.
QByteArray message(const QByteArray &address, const QByteArray &text);

} // namespace Osc
