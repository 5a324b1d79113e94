// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

// The browser panel's password, stored only as a salted, slow hash:
// "pbkdf2-sha256$<iterations>$<salt>$<key>", salt and key in base64. Whoever
// reads the settings file learns no password from it.
namespace Password {

inline constexpr int iterations = 200000;

QByteArray hash(const QString &password);
// Whether `password` is the one `stored` was made from; false for a stored
// value of any other form. Takes as long whichever byte differs.
bool matches(const QString &password, const QByteArray &stored);

} // namespace Password
