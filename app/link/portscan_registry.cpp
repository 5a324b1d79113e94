// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portlist.h"

#include <windows.h>

#include <iterator>

namespace PortList {

// Windows names every serial port it has a driver for under this key,
// "\Device\Serial0" = "COM1", plugged-in USB adapters and ports without a
// Plug and Play device included; nothing is opened to find them. The key
// lacks the drivers' friendly names, so such a port is offered by its bare
// name.
QList<Found> findRegisteredPorts()
{
    QList<Found> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS) {
        return ports; // absent when the machine has no serial port at all
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameSize = DWORD(std::size(name));
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &dataSize);
        if (result == ERROR_MORE_DATA)
            continue; // not a port name of any sensible length
        if (result != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        // The stored string need not end in a NUL.
        data[dataSize / sizeof(wchar_t)] = L'\0';
        Found port;
        port.portName = QString::fromWCharArray(data);
        port.systemLocation = QStringLiteral("\\\\.\\") + port.portName;
        ports.append(port);
    }
    RegCloseKey(key);
    return ports;
}

} // namespace PortList
