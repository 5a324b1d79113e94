// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

// Which refusals the journal records one by one, as pure functions of a
// clock in milliseconds: the first perPeer of each sender within a second of
// its first, and when that second ends, one count of how many more there
// were. A flood from many addresses at once (senders not allowed, with
// forged addresses) must not write the journal for each of them: beyond
// maxPeers senders followed at once the rest are only counted, together.
class RefusalLimit
{
public:
    static constexpr int perPeer = 10;
    static constexpr int maxPeers = 16;
    static constexpr qint64 spanMs = 1000;

    // Whether this refusal is recorded on its own; if not, it is counted.
    // The seconds ended by now must have been taken with expire() first.
    bool admit(const QString &peer, qint64 nowMs);

    struct Count
    {
        QString peer; // empty: the senders not followed on their own
        int more = 0;
    };
    // The counts of the seconds ended by now, which are then forgotten.
    QList<Count> expire(qint64 nowMs);
    // When the next second ends, while one runs.
    std::optional<qint64> nextEnd() const;

private:
    struct Span
    {
        qint64 startMs = 0;
        int recorded = 0;
        int more = 0;
    };
    QHash<QString, Span> mSpans;
};

// Hands refusals to `record` as a RefusalLimit admits them, and when each
// second ends, the count of those it did not: "12 more in that second".
class LimitedRefusals
{
public:
    explicit LimitedRefusals(std::function<void(const QString &peer, const QString &reason)> record);
    void refuse(const QString &peer, const QString &reason);

private:
    void recordCounts();

    std::function<void(const QString &, const QString &)> mRecord;
    RefusalLimit mLimit;
    QElapsedTimer mClock;
    QTimer mCounts;
};
