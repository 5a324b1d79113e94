// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Qt Core only, so that a test without widgets can have it too.

#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

// Settings that live in a temporary folder, never the user's own.
struct TemporarySettings
{
    QTemporaryDir dir;

    TemporarySettings()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }
    static QSettings open()
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                         QStringLiteral("lumivane.org"), QStringLiteral("Lumivane"));
    }
    void store(const QString &key, const QVariant &value) { open().setValue(key, value); }
    QVariant stored(const QString &key) const { return open().value(key); }
    QString fileName() const { return open().fileName(); }
};
