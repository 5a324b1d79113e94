// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "refusallimit.h"

bool RefusalLimit::admit(const QString &peer, qint64 nowMs)
{
    auto span = mSpans.find(peer);
    if (span == mSpans.end()) {
        if (mSpans.size() < maxPeers) {
            span = mSpans.insert(peer, { nowMs, 0, 0 });
        } else {
            span = mSpans.find(QString());
            if (span == mSpans.end())
                span = mSpans.insert(QString(), { nowMs, perPeer, 0 });
        }
    }
    if (span->recorded < perPeer) {
        ++span->recorded;
        return true;
    }
    ++span->more;
    return false;
}

QList<RefusalLimit::Count> RefusalLimit::expire(qint64 nowMs)
{
    QList<Count> counts;
    for (auto span = mSpans.begin(); span != mSpans.end();) {
        if (nowMs - span->startMs < spanMs) {
            ++span;
            continue;
        }
        if (span->more > 0)
            counts.append({ span.key(), span->more });
        span = mSpans.erase(span);
    }
    return counts;
}

std::optional<qint64> RefusalLimit::nextEnd() const
{
    std::optional<qint64> end;
    for (const Span &span : mSpans) {
        if (!end || span.startMs + spanMs < *end)
            end = span.startMs + spanMs;
    }
    return end;
}
