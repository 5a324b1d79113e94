// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "settingvalue.h"

#include <QString>

namespace SettingValue {

std::optional<bool> boolean(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    // A file holds text only; a value this run stored may still be cached as
    // the number it was given.
    switch (stored.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        break;
    default:
        return std::nullopt;
    }
    const QString word = stored.toString().trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("1") || word == QLatin1String("yes")
        || word == QLatin1String("on"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("0") || word == QLatin1String("no")
        || word == QLatin1String("off"))
        return false;
    return std::nullopt;
}

} // namespace SettingValue
