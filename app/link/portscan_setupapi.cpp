// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portlist.h"

#include <windows.h>
#include <setupapi.h>
// After the headers that only declare GUIDs: this one defines the ports class.
#include <initguid.h>
#include <devguid.h>

#include <algorithm>

namespace PortList {

namespace {

// A text property of the device; empty when the driver gave none.
QString deviceText(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD property)
{
    wchar_t text[256] = {};
    DWORD type = 0;
    // One character short of the buffer, so the text always ends in a NUL.
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE *>(text),
                                           sizeof text - sizeof(wchar_t), nullptr)
        || type != REG_SZ) {
        return {};
    }
    return QString::fromWCharArray(text);
}

// The COM name the ports class gave the device, kept in its own key.
QString portNameOf(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[256] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE *>(name), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? QString::fromWCharArray(name) : QString();
}

// The ports that Plug and Play has present now, as Device Manager names
// them. Nothing is opened to find them.
QList<Found> plugAndPlayPorts()
{
    QList<Found> ports;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        Found port;
        port.portName = portNameOf(set, device);
        // The class also holds printer ports (LPT1), which are no serial line.
        if (!port.portName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        port.systemLocation = QStringLiteral("\\\\.\\") + port.portName;
        // "USB Serial Port (COM5)": the list adds the COM name itself.
        const QString friendly = deviceText(set, device, SPDRP_FRIENDLYNAME);
        const QString ownName = QStringLiteral(" (%1)").arg(port.portName);
        port.description = friendly.endsWith(ownName, Qt::CaseInsensitive) ? friendly.chopped(ownName.size())
                                                                              : friendly;
        if (port.description.isEmpty())
            port.description = deviceText(set, device, SPDRP_DEVICEDESC);
        port.manufacturer = deviceText(set, device, SPDRP_MFG);
        ports.append(port);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

} // namespace

QList<Found> findPorts()
{
    QList<Found> ports = plugAndPlayPorts();
    // A port without a Plug and Play device (a virtual port driver's, and
    // every port under Wine) is only in the serial drivers' list.
    for (const Found &registered : findRegisteredPorts()) {
        const auto same = [&](const Found &port) {
            return port.portName.compare(registered.portName, Qt::CaseInsensitive) == 0;
        };
        if (std::none_of(ports.cbegin(), ports.cend(), same))
            ports.append(registered);
    }
    return ports;
}

QString scanError()
{
    return QString();
}

} // namespace PortList
