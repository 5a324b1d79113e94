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
// Bundles, nested too, are unpacked in order; their time tags are ignored.
namespace Osc {

struct Decoded
{
    QList<RemoteCommand> commands;
    // Messages that changed nothing: another address, a wrong type or range.
    // A malformed packet counts once and yields no command at all.
    int ignored = 0;
    // Releases (argument 0 or F) are neither commands nor faults.
    int released = 0;
};

Decoded decode(const QByteArray &packet);

} // namespace Osc
