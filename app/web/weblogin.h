// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "httprequest.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Who has logged in to the browser panel, and who has guessed too often, as
// functions of a clock in milliseconds. A session holds the password's hash
// it was opened under, so a new password ends it wherever it was set.
class WebLogin
{
public:
    // Wrong passwords from one address within spanMs before it is refused
    // for spanMs.
    static constexpr int wrongAllowed = 5;
    static constexpr qint64 spanMs = 60000;
    // Beyond these the oldest is forgotten: a peer cannot make either grow
    // without end.
    static constexpr int maxSessions = 64;
    static constexpr int maxFollowed = 1024;

    static constexpr char cookieName[] = "lumivane_session";

    bool blocked(const QString &peer, qint64 nowMs) const;
    void wrong(const QString &peer, qint64 nowMs);
    // A new session's token.
    QByteArray open(const QByteArray &hash);
    bool valid(const QByteArray &token, const QByteArray &hash) const;
    void close(const QByteArray &token);

    // The session cookie a request carries; empty when none.
    static QByteArray token(const HttpRequest &request);
    // The password of a login: a form's "password=…" or JSON's
    // {"password": "…"}; nothing when the body is neither.
    static std::optional<QString> password(const HttpRequest &request);

private:
    struct Guesses
    {
        QList<qint64> wrongMs; // the latest, at most wrongAllowed
        qint64 blockedUntilMs = 0;
    };
    QHash<QString, Guesses> mGuesses;
    QList<QPair<QByteArray, QByteArray>> mSessions; // token, hash; oldest first
};
