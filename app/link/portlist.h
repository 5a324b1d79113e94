// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What File, Setup Connection... offers: COM1 to COM4, then the serial ports
// present on this computer, then a path typed before and the stored port if
// they are none of those, then "Other..." to type a path.
namespace PortList {

// The names every computer is offered, in order; the first is the default
// when none is stored. On Linux they stand for /dev/ttyS0 to /dev/ttyS3.
QStringList fixedNames();

enum class Platform { Posix, Windows };
Platform thisPlatform();

// One port as the system reports it.
struct Found
{
    QString systemLocation; // "/dev/ttyUSB0"; "\\.\COM5" on Windows
    QString portName;       // "ttyUSB0", "COM5"
    QString description;    // "FT232R USB UART"
    QString manufacturer;   // "FTDI"
    QString stableName;     // the /dev/serial/by-id/ link to it, if there is one
    bool hardware = true;   // false for a built-in UART node with no UART behind it
};

struct Item
{
    QString label;  // what the operator sees
    QString stored; // what the settings keep and SerialPort opens; empty for "Other..."
};

struct Offer
{
    QList<Item> items;
    int current = 0;
};

// Pure: the items in the order offered, and the one to preselect.
// storedExists says whether the stored path names something right now;
// typed is the path last typed under "Other...", typedExists the same for it.
Offer offer(Platform platform, const QList<Found> &found, const QString &stored, bool storedExists,
            const QString &typed = QString(), bool typedExists = false);

// The last item of every offer, which asks for a device path instead.
QString otherLabel();

// Pure: the stored port as Setup shows it ("COM1", "FT232R USB UART
// (ttyUSB0)", "usb-FTDI_..."), or the stored name itself where Setup would not
// list it.
QString label(Platform platform, const QList<Found> &found, const QString &stored);

// The ports present now, asked afresh of the system. Opens no port itself.
QList<Found> findPorts();

// Why findPorts() cannot ask the system (its module would not load), or
// empty when it can; the list is then empty.
QString scanError();

// What the window's loader looks up in the ports module.
#define LUMIVANE_PORTS_SCAN "lumivaneFindPorts"

// Windows: the serial drivers' own list, by bare COM names; findPorts()
// adds from it the ports Plug and Play does not name.
QList<Found> findRegisteredPorts();

} // namespace PortList
