// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sun.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Sun {

namespace {

constexpr double degree = std::numbers::pi / 180;
// The centre's zenith distance at rise and set: 90 degrees and 0.833 for
// refraction at the horizon and the sun's semidiameter, as almanacs count it.
constexpr double zenith = 90.833;
constexpr double horizon = 90 - zenith;

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

double julianDay(double secsSinceEpoch) { return 2440587.5 + secsSinceEpoch / 86400; }

// The sun over one local day, seconds counted from its start. Declination
// and equation of time drift smoothly enough that a parabola through the
// day's start, middle and end matches position() to far below a second of
// time, and three calls cost less than one per sample would.
class Day
{
public:
    Day(double latitude, double longitude, qint64 start, double length, const Position &middle)
        : mSinLat(sinDeg(latitude)), mCosLat(cosDeg(latitude)), mLength(length),
          mFirst(position(julianDay(double(start)))), mMiddle(middle),
          mLast(position(julianDay(double(start) + length))),
          // Degrees of hour angle at the start, but for the equation of time.
          mHourAngle(double(start - 86400 * qint64(std::floor(double(start) / 86400))) / 240 + longitude - 180)
    {
    }

    // Sign tells whether the centre is above the standard horizon.
    double height(double secs) const
    {
        const double u = secs / mLength;
        const auto along = [u](double first, double middle, double last) {
            return first * (2 * u - 1) * (u - 1) + middle * 4 * u * (1 - u) + last * u * (2 * u - 1);
        };
        const double declination = along(mFirst.declination, mMiddle.declination, mLast.declination);
        const double equation = along(mFirst.equationOfTime, mMiddle.equationOfTime, mLast.equationOfTime);
        const double hourAngle = mHourAngle + secs / 240 + equation / 4;
        return mSinLat * sinDeg(declination) + mCosLat * cosDeg(declination) * cosDeg(hourAngle)
            - mCosZenith;
    }

    // Seconds after the start at which solar time is next a multiple of `step` seconds.
    double nextSolarMultiple(double step) const
    {
        const double solar = (mHourAngle + 180 + mMiddle.equationOfTime / 4) * 240;
        return step - (solar - step * std::floor(solar / step));
    }

private:
    double mSinLat, mCosLat, mLength;
    double mCosZenith = cosDeg(zenith);
    Position mFirst, mMiddle, mLast;
    double mHourAngle;
};

} // namespace

std::optional<QDateTime> event(Event event, double latitude, double longitude, QDate localDate,
                               const QTimeZone &zone)
{
    // The real instants, so a day of 23 or 25 hours is searched whole.
    const qint64 start = localDate.startOfDay(zone).toSecsSinceEpoch();
    const double length = double(localDate.addDays(1).startOfDay(zone).toSecsSinceEpoch() - start);
    if (length <= 0)
        return std::nullopt;

    // Most days at high latitudes are wholly light or dark: the sun's
    // highest and lowest, at solar noon and midnight, settle it cheaply. The
    // declination moves less than 0.4 degrees a day, hence the margin.
    const Position middle = position(julianDay(double(start) + length / 2));
    constexpr double drift = 0.25;
    const double highest = 90 - std::max(0.0, std::abs(latitude - middle.declination) - drift);
    const double lowest = std::max(0.0, std::abs(latitude + middle.declination) - drift) - 90;
    if (highest < horizon || lowest > horizon)
        return std::nullopt;

    // Near the polar day and night a rise or set may fall at any hour, as
    // may both on one day, so the whole day is sampled. The samples fall on
    // the quarter hours of solar time, noon and midnight among them, where
    // a sun grazing the horizon turns: between two samples the altitude
    // moves one way but for a turn too shallow to matter.
    const Day day(latitude, longitude, start, length, middle);
    constexpr double step = 900;
    const bool rising = event == Event::Rise;
    double before = 0;
    bool wasUp = day.height(0) > 0;
    for (double at = day.nextSolarMultiple(step);; at += step) {
        const double after = std::min(at, length);
        const bool up = day.height(after) > 0;
        if (up != wasUp && up == rising) {
            double low = before, high = after;
            while (high - low > 0.05) {
                const double mid = (low + high) / 2;
                if ((day.height(mid) > 0) == wasUp)
                    low = mid;
                else
                    high = mid;
            }
            // Rounding must not carry it into the next day.
            const qint64 secs = std::min(std::llround((low + high) / 2), qint64(length) - 1);
            return QDateTime::fromSecsSinceEpoch(start + secs, QTimeZone::utc());
        }
        if (after >= length)
            return std::nullopt;
        before = after;
        wasUp = up;
    }
}

QDateTime noon(double longitude, QDate localDate, const QTimeZone &zone)
{
    // The equation of time changes by seconds a day: the day's middle will do.
    const QDateTime start = localDate.startOfDay(zone);
    const double middle = double(start.toSecsSinceEpoch()) + 12 * 3600;
    const double dayStart = 86400 * std::floor(middle / 86400);
    const Position sun = position(julianDay(middle));
    const double minutes = 720 - 4 * longitude - sun.equationOfTime;
    return QDateTime::fromSecsSinceEpoch(qint64(dayStart) + std::llround(minutes * 60), QTimeZone::utc());
}

} // namespace Sun
