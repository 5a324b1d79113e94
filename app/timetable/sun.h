#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <optional>

// Sunrise and sunset at the standard horizon, -0.833 degrees, by NOAA's
// published solar method. The -0.833 degrees are taken where the sun's
// upper limb stands, as the ephemeris values this is checked against do;
// they agree within seconds in Berlin, New York, Sydney and Tromsø.
namespace Sun {

enum class Event { Rise, Set };

// The instant of the event that falls on `localDate` in `zone`; nothing
// where the sun stays up (no set) or down (no rise) all that day.
std::optional<QDateTime> event(Event event, double latitude, double longitude, QDate localDate,
                               const QTimeZone &zone);

} // namespace Sun
