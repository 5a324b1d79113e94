// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commands.h"

#include <cmath>

namespace {

QByteArray format(const char *code, int argument)
{
    return QByteArray(code) + QByteArray::number(argument & 0xFF, 16).toUpper().rightJustified(2, '0');
}

} // namespace

namespace Commands {

QByteArray startShow(int showId)
{
    return format("X04", showId + 1);
}

int brightnessLevel(int value, int maximum)
{
    if (maximum <= 0)
        return 255;
    const int level = ((maximum - value) * 255) / maximum;
    return level <= 0 ? 1 : level;
}

int sliderValueForPercent(double percent, int maximum)
{
    const double wanted = percent * 255.0 / 100.0;
    int best = 0;
    for (int value = 1; value <= maximum; ++value) {
        if (std::fabs(brightnessLevel(value, maximum) - wanted) < std::fabs(brightnessLevel(best, maximum) - wanted))
            best = value;
    }
    return best;
}

int levelPercent(int level)
{
    return int(std::lround(level * 100.0 / 255.0));
}

QByteArray brightness(int level)
{
    return format("X02", level);
}

} // namespace Commands
