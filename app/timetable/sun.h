// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <optional>

// Sunrise and sunset at the standard horizon, the sun's centre at -0.833
// degrees, by NOAA's published solar method: within seconds of an ephemeris
// in Berlin, New York and Sydney, within a minute and a half at Tromsø and
// Svalbard. Near a pole, where the sun climbs a minute of arc an hour, the
// method's few arcseconds become minutes: within ten at 89.9 degrees.
namespace Sun {

enum class Event { Rise, Set };

// The instant of the event that falls on `localDate` in `zone`, at any hour:
// next to the polar day the sun rises or sets just after midnight. Nothing
// where the sun stays up (no set) or down (no rise) all that day. A day with
// two, as where the sun dips below the horizon for minutes around midnight
// and sets again in the evening, gives the first.
std::optional<QDateTime> event(Event event, double latitude, double longitude, QDate localDate,
                               const QTimeZone &zone);

// Solar noon at `longitude` on `localDate`: the instant the sun crosses the
// meridian, in UTC. Where a zone's noon lies far from it, its clock and the
// place disagree.
QDateTime noon(double longitude, QDate localDate, const QTimeZone &zone);

} // namespace Sun
