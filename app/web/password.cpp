// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "password.h"

#include <QList>
#include <QPasswordDigestor>
#include <QRandomGenerator>

namespace {

constexpr int keyBytes = 32;
constexpr int saltBytes = 16;

QByteArray derive(const QString &password, const QByteArray &salt, int rounds)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, rounds, keyBytes);
}

} // namespace

namespace Password {

QByteArray hash(const QString &password)
{
    QByteArray salt(saltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), saltBytes / 4);
    return "pbkdf2-sha256$" + QByteArray::number(iterations) + '$' + salt.toBase64() + '$'
        + derive(password, salt, iterations).toBase64();
}

bool matches(const QString &password, const QByteArray &stored)
{
    const QList<QByteArray> parts = stored.split('$');
    if (parts.size() != 4 || parts[0] != "pbkdf2-sha256")
        return false;
    bool ok = false;
    const int rounds = parts[1].toInt(&ok);
    // A stored count lowered by hand would make guessing cheap.
    if (!ok || rounds < iterations)
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2]);
    const QByteArray key = QByteArray::fromBase64(parts[3]);
    if (salt.size() < saltBytes || key.size() != keyBytes)
        return false;
    const QByteArray given = derive(password, salt, rounds);
    unsigned char differ = 0;
    for (int i = 0; i < keyBytes; ++i)
        differ |= uchar(given[i] ^ key[i]);
    return differ == 0;
}

} // namespace Password
