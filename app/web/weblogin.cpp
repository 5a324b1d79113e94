// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "weblogin.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUrlQuery>

bool WebLogin::blocked(const QString &peer, qint64 nowMs) const
{
    const auto found = mGuesses.constFind(peer);
    return found != mGuesses.cend() && nowMs < found->blockedUntilMs;
}

void WebLogin::wrong(const QString &peer, qint64 nowMs)
{
    if (!mGuesses.contains(peer) && mGuesses.size() >= maxFollowed) {
        // Forget those whose guesses are all older than the span, or if none
        // are, one at random: the bound holds against a crowd of addresses.
        for (auto it = mGuesses.begin(); it != mGuesses.end();) {
            const bool stale = it->blockedUntilMs <= nowMs
                && (it->wrongMs.isEmpty() || it->wrongMs.constLast() <= nowMs - spanMs);
            it = stale ? mGuesses.erase(it) : std::next(it);
        }
        if (mGuesses.size() >= maxFollowed)
            mGuesses.erase(mGuesses.begin());
    }
    Guesses &guesses = mGuesses[peer];
    guesses.wrongMs.append(nowMs);
    while (!guesses.wrongMs.isEmpty() && guesses.wrongMs.constFirst() <= nowMs - spanMs)
        guesses.wrongMs.removeFirst();
    if (guesses.wrongMs.size() >= wrongAllowed) {
        guesses.blockedUntilMs = nowMs + spanMs;
        guesses.wrongMs.clear();
    }
}

QByteArray WebLogin::open(const QByteArray &hash)
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token = QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
    mSessions.append({ token, hash });
    if (mSessions.size() > maxSessions)
        mSessions.removeFirst();
    return token;
}

bool WebLogin::valid(const QByteArray &token, const QByteArray &hash) const
{
    if (token.isEmpty() || hash.isEmpty())
        return false;
    for (const auto &[known, madeUnder] : mSessions) {
        if (known == token)
            return madeUnder == hash;
    }
    return false;
}

void WebLogin::close(const QByteArray &token)
{
    mSessions.removeIf([&](const auto &session) { return session.first == token; });
}

QByteArray WebLogin::token(const HttpRequest &request)
{
    for (const auto &[name, value] : request.headers) {
        if (name != "cookie")
            continue;
        for (const QByteArray &pair : value.split(';')) {
            const QByteArray trimmed = pair.trimmed();
            if (trimmed.startsWith(QByteArray(cookieName) + '='))
                return trimmed.mid(qstrlen(cookieName) + 1);
        }
    }
    return {};
}

std::optional<QString> WebLogin::password(const HttpRequest &request)
{
    const QByteArray body = request.body.trimmed();
    if (body.startsWith('{')) {
        const QJsonValue value = QJsonDocument::fromJson(body).object().value(QStringLiteral("password"));
        if (!value.isString())
            return std::nullopt;
        return value.toString();
    }
    // A form's fields, "+" for a blank as forms send it.
    QByteArray form = body;
    form.replace('+', ' ');
    const QUrlQuery fields(QString::fromUtf8(form));
    if (!fields.hasQueryItem(QStringLiteral("password")))
        return std::nullopt;
    // Read from a file or standard input (curl's password@-), it brings its
    // line end along; no password ends in one, as --set-web-password has it.
    QString password = fields.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    while (password.endsWith(QLatin1Char('\n')) || password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    return password;
}
