// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The guard against a double start: a start of the show started a moment
// ago is most often a second click, not a wish to start it over.

#include "panel.h"

namespace {

// "show 12 was started 0.2 s ago", as a remote sender is told.
QString startedAgo(int id, qint64 sinceMs)
{
    return QStringLiteral("show %1 was started %2 s ago")
        .arg(id + 1)
        .arg(QString::number(double(sinceMs) / 1000.0, 'f', 1));
}

} // namespace

// A start of a show that was started less than the guard's time ago is
// ignored, whoever asked for it, and never silently: the status line and the
// journal say so, a view flashes the show, and a remote sender is told. Off
// and brightness never come here.
std::optional<QString> Panel::guarded(int id, const Source &source)
{
    const std::optional<qint64> started = mStartedAt[std::size_t(id)];
    if (mRepeatGuardMs <= 0 || !started)
        return std::nullopt;
    const qint64 sinceMs = monotonicMs() - *started;
    if (sinceMs >= mRepeatGuardMs)
        return std::nullopt;

    const QString ago = startedAgo(id, sinceMs);
    refuse(Command::show(id + 1), source, QStringLiteral("guard"));
    emit message(ago.at(0).toUpper() + ago.mid(1) + QStringLiteral("; ignored"), messageMs);
    emit startIgnored(id);
    return ago;
}
