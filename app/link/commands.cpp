// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commands.h"

#include <cmath>

#include "command.h"

namespace Commands {

QByteArray startShow(int showId)
{
    return Command::show(showId + 1).bytes();
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
    return Command::brightness(level).bytes();
}

} // namespace Commands
