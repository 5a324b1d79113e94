// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portlist.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace PortList {

namespace {

// "ttyUSB2" before "ttyUSB10", "COM5" before "COM10": runs of digits compare
// by value.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i, sj = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const qulonglong x = a.mid(si, i - si).toULongLong();
            const qulonglong y = b.mid(sj, j - sj).toULongLong();
            if (x != y)
                return x < y;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool isPseudoTerminal(const Found &port)
{
    static const QRegularExpression bsdPty(QStringLiteral("^(pty|tty)[p-za-e][0-9a-f]$"));
    return port.systemLocation.startsWith(QLatin1String("/dev/pts/"))
        || port.portName == QLatin1String("ptmx") || bsdPty.match(port.portName).hasMatch();
}

bool isFixed(Platform platform, const Found &port)
{
    if (platform == Platform::Windows)
        return fixedNames().contains(port.portName);
    static const QRegularExpression com1to4(QStringLiteral("^/dev/ttyS[0-3]$"));
    return com1to4.match(port.systemLocation).hasMatch();
}

QString storedValue(Platform platform, const Found &port)
{
    if (platform == Platform::Windows)
        return port.portName;
    return port.stableName.isEmpty() ? port.systemLocation : port.stableName;
}

QString label(const Found &port)
{
    const QString what = port.description.isEmpty() ? port.manufacturer : port.description;
    return what.isEmpty() ? port.portName : QStringLiteral("%1 (%2)").arg(what, port.portName);
}

QString shortName(const QString &path)
{
    if (path.startsWith(QLatin1String("/dev/serial/")))
        return QFileInfo(path).fileName();
    if (path.startsWith(QLatin1String("/dev/")))
        return path.mid(5);
    return path;
}

} // namespace

QStringList fixedNames()
{
    return { QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4") };
}

Platform thisPlatform()
{
#ifdef Q_OS_WIN
    return Platform::Windows;
#else
    return Platform::Posix;
#endif
}

Offer offer(Platform platform, const QList<Found> &found, const QString &stored, bool storedExists,
            const QString &typed, bool typedExists)
{
    Offer result;
    for (const QString &name : fixedNames())
        result.items.append({ name, name });
    result.current = int(fixedNames().indexOf(stored));

    QList<Found> present = found;
    std::stable_sort(present.begin(), present.end(),
                     [](const Found &a, const Found &b) { return naturalLess(a.portName, b.portName); });
    for (const Found &port : present) {
        if (!port.hardware || isPseudoTerminal(port) || isFixed(platform, port))
            continue;
        const QString value = storedValue(platform, port);
        const auto same = [&](const Item &item) { return item.stored == value; };
        if (std::any_of(result.items.cbegin(), result.items.cend(), same))
            continue;
        // A port stored by its /dev path is the same adapter as its by-id name.
        if (result.current < 0 && (stored == value || stored == port.systemLocation))
            result.current = int(result.items.size());
        result.items.append({ label(port), value });
    }

    // A path typed before, and whatever else is stored (a name written by
    // hand, a path on Windows), is listed as it is, so that OK does not
    // replace the stored port unasked and a typed one can be chosen again.
    const auto keep = [&](const QString &value, bool exists) {
        const auto same = [&](const Item &item) { return item.stored == value; };
        if (value.isEmpty() || std::any_of(result.items.cbegin(), result.items.cend(), same))
            return;
        if (result.current < 0 && value == stored)
            result.current = int(result.items.size());
        QString name = shortName(value);
        // The operator's choice is found again by its label: keep it unique.
        const auto taken = [&](const Item &item) { return item.label == name; };
        if (std::any_of(result.items.cbegin(), result.items.cend(), taken))
            name = value;
        result.items.append({ exists ? name : name + QStringLiteral(" (not connected)"), value });
    };
    if (typed != stored && !typed.isEmpty())
        keep(typed, typedExists);
    if (result.current < 0)
        keep(stored, storedExists);
    result.current = std::max(result.current, 0);
    result.items.append({ otherLabel(), QString() });
    return result;
}

QString otherLabel()
{
    return QStringLiteral("Other...");
}

QString label(Platform platform, const QList<Found> &found, const QString &stored)
{
    const Offer listed = offer(platform, found, stored, true);
    // Preselected only as the fallback to the first: not listed itself.
    if (listed.current == 0 && stored != fixedNames().constFirst())
        return stored;
    return listed.items.at(listed.current).label;
}

} // namespace PortList
