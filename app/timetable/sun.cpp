// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sun.h"

#include <cmath>
#include <numbers>

namespace Sun {

namespace {

constexpr double degree = std::numbers::pi / 180;
// The centre's zenith distance at rise and set: 90 degrees and 0.833 for
// refraction at the horizon and the sun's semidiameter, as almanacs count it.
constexpr double zenith = 90.833;

double sinDeg(double x) { return std::sin(x * degree); }
double cosDeg(double x) { return std::cos(x * degree); }

struct Position
{
    double declination;     // degrees
    double equationOfTime; // minutes
};

// The sun at `julianDay`, after the NOAA solar calculator.
Position position(double julianDay)
{
    const double t = (julianDay - 2451545.0) / 36525.0;
    const double meanLong = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double centre = sinDeg(meanAnomaly) * (1.914602 - t * (0.004817 + 0.000014 * t))
        + sinDeg(2 * meanAnomaly) * (0.019993 - 0.000101 * t) + sinDeg(3 * meanAnomaly) * 0.000289;
    const double omega = 125.04 - 1934.136 * t;
    const double apparentLong = meanLong + centre - 0.00569 - 0.00478 * sinDeg(omega);
    const double meanObliquity = 23 + (26 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60) / 60;
    const double obliquity = meanObliquity + 0.00256 * cosDeg(omega);
    const double declination = std::asin(sinDeg(obliquity) * sinDeg(apparentLong)) / degree;
    const double y = std::pow(std::tan(obliquity / 2 * degree), 2);
    const double l2 = 2 * meanLong * degree;
    const double m = meanAnomaly * degree;
    const double equation = y * std::sin(l2) - 2 * eccentricity * std::sin(m)
        + 4 * eccentricity * y * std::sin(m) * std::cos(l2) - 0.5 * y * y * std::sin(2 * l2)
        - 1.25 * eccentricity * eccentricity * std::sin(2 * m);
    return { declination, 4 * equation / degree };
}

// Minutes after 00:00 UTC of `utcDate` (may be below 0 or past 1440), or
// nothing on a polar day or night.
std::optional<double> utcMinutes(Event event, double latitude, double longitude, QDate utcDate)
{
    const double midnight = double(utcDate.toJulianDay()) - 0.5;
    const double sign = event == Event::Rise ? -1 : 1;
    // The sun moves during the day: solve at noon, then again at the
    // instant found, which settles well within a second.
    double minutes = 720 - 4 * longitude;
    for (int pass = 0; pass < 3; ++pass) {
        const Position sun = position(midnight + minutes / 1440);
        const double cosHour = cosDeg(zenith) / (cosDeg(latitude) * cosDeg(sun.declination))
            - std::tan(latitude * degree) * std::tan(sun.declination * degree);
        if (cosHour > 1 || cosHour < -1)
            return std::nullopt;
        const double hourAngle = std::acos(cosHour) / degree;
        minutes = 720 - 4 * longitude - sun.equationOfTime + sign * 4 * hourAngle;
    }
    return minutes;
}

} // namespace

std::optional<QDateTime> event(Event event, double latitude, double longitude, QDate localDate,
                               const QTimeZone &zone)
{
    // The event of the UTC day that is this local date for the place's own
    // solar time is nearly always the one; a zone far from its solar time
    // can make it a neighbour's, so the neighbours are asked as well.
    for (const int shift : { 0, -1, 1 }) {
        const QDate utcDate = localDate.addDays(shift);
        const auto minutes = utcMinutes(event, latitude, longitude, utcDate);
        if (!minutes)
            continue;
        const QDateTime at = QDateTime(utcDate, QTime(0, 0), QTimeZone::utc())
                                 .addSecs(std::llround(*minutes * 60));
        if (at.toTimeZone(zone).date() == localDate)
            return at;
    }
    return std::nullopt;
}

} // namespace Sun
