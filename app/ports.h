#pragma once

#include <QStringList>

// The ports the operator can choose, in the order offered; the first is the
// default when none is stored.
inline QStringList portList()
{
    return { QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4") };
}
