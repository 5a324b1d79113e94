// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdlib>
#include <string>

#include <dirent.h>
#include <unistd.h>

// The descriptor this process holds on a device node, or -1. The VM test asks
// a process from the inside what it still holds, without reaching into the
// object that holds it.
inline int heldDescriptor(const std::string &prefix)
{
    int found = -1;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent *entry = readdir(dir)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[256] = {};
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        // A vanished node reads back as "/dev/ttyUSB0 (deleted)".
        if (n > 0 && std::string(target, n).rfind(prefix, 0) == 0)
            found = std::atoi(entry->d_name);
    }
    closedir(dir);
    return found;
}

// Every device node under /dev/tty this process holds, space separated.
inline std::string heldTtys()
{
    std::string list;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return list;
    while (dirent *entry = readdir(dir)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[256] = {};
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        std::string path(target, n > 0 ? n : 0);
        if (path.rfind("/dev/tty", 0) != 0 || path == "/dev/tty")
            continue;
        // One word per descriptor, so that a vanished node stays visible.
        if (const auto blank = path.find(' '); blank != std::string::npos)
            path.erase(blank, 1);
        list += (list.empty() ? "" : ",") + path;
    }
    closedir(dir);
    return list.empty() ? "none" : list;
}
