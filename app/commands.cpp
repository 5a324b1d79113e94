#include "commands.h"

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

QByteArray brightness(int level)
{
    return format("X02", level);
}

} // namespace Commands
