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

LimitedRefusals::LimitedRefusals(std::function<void(const QString &, const QString &)> record)
    : mRecord(std::move(record))
{
    mClock.start();
    mCounts.setSingleShot(true);
    QObject::connect(&mCounts, &QTimer::timeout, [this] { recordCounts(); });
}

void LimitedRefusals::refuse(const QString &peer, const QString &reason)
{
    const qint64 now = mClock.elapsed();
    // A second ended and not yet counted is counted before this one begins.
    if (const std::optional<qint64> end = mLimit.nextEnd(); end && *end <= now)
        recordCounts();
    if (mLimit.admit(peer, now))
        mRecord(peer, reason);
    if (!mCounts.isActive())
        mCounts.start(int(std::max<qint64>(0, *mLimit.nextEnd() - now)));
}

void LimitedRefusals::recordCounts()
{
    const qint64 now = mClock.elapsed();
    for (const RefusalLimit::Count &count : mLimit.expire(now)) {
        mRecord(count.peer, count.peer.isEmpty() ? QStringLiteral("%1 more in that second, from other senders").arg(count.more)
                                                 : QStringLiteral("%1 more in that second").arg(count.more));
    }
    if (const std::optional<qint64> end = mLimit.nextEnd())
        mCounts.start(int(std::max<qint64>(0, *end - now)));
}
