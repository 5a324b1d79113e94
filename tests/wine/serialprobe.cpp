// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Drives one SerialPort from the command line and prints what each call
// returned, one line per call, for a checker on the other end of the line.
//
//   serialprobe open COM1 9600 8 1 0 write X0100 close
//
// Calls: open NAME BAUD DATA STOP PARITY | write TEXT | writehex HEX |
// writesome TEXT | close | path NAME | present NAME | still | wait. NAME "@null" passes a null pointer. writehex exists because a
// line feed or a control byte does not survive a Windows command line. wait
// prints "wait" and reads a line, so that the checker can change the line
// in between.

#include "serialport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *reasonName(SerialPort::Reason r)
{
    switch (r) {
    case SerialPort::Reason::None: return "None";
    case SerialPort::Reason::NoDevice: return "NoDevice";
    case SerialPort::Reason::PermissionDenied: return "PermissionDenied";
    case SerialPort::Reason::Busy: return "Busy";
    case SerialPort::Reason::NotSerial: return "NotSerial";
    case SerialPort::Reason::Other: return "Other";
    }
    return "?";
}

const char *nameArg(const char *arg)
{
    return std::strcmp(arg, "@null") == 0 ? nullptr : arg;
}

bool fromHex(const char *hex, std::string &out)
{
    const std::size_t n = std::strlen(hex);
    if (n % 2 != 0)
        return false;
    for (std::size_t i = 0; i < n; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char *end = nullptr;
        const long v = std::strtol(pair, &end, 16);
        if (*end != 0 || v == 0) // a zero byte would end the text early
            return false;
        out.push_back(static_cast<char>(v));
    }
    return true;
}

void printState(const SerialPort &port)
{
    std::printf(" open=%d reason=%s error=%d\n", port.isOpen() ? 1 : 0,
                reasonName(port.reason()), port.systemError());
}

int usage(const char *what)
{
    std::fprintf(stderr, "serialprobe: bad call near '%s'\n", what);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    SerialPort port;
    for (int i = 1; i < argc; ++i) {
        const std::string call = argv[i];
        const int left = argc - i - 1;
        if (call == "open" && left >= 5) {
            const int rc = port.open(nameArg(argv[i + 1]), std::atoi(argv[i + 2]),
                                     std::atoi(argv[i + 3]), std::atoi(argv[i + 4]),
                                     std::atoi(argv[i + 5]));
            std::printf("open %d", rc);
            printState(port);
            i += 5;
        } else if ((call == "write" || call == "writehex") && left >= 1) {
            std::string text;
            if (call == "write")
                text = argv[i + 1];
            else if (!fromHex(argv[i + 1], text))
                return usage(argv[i + 1]);
            std::printf("write %d", port.write(text.c_str()) ? 1 : 0);
            printState(port);
            i += 1;
        } else if (call == "writesome" && left >= 1) {
            const std::string text = argv[i + 1];
            std::printf("writesome %d", port.writeSome(text.data(), text.size()));
            printState(port);
            i += 1;
        } else if (call == "close") {
            port.close();
            std::printf("close");
            printState(port);
        } else if (call == "still") {
            std::printf("still %d", port.stillConnected() ? 1 : 0);
            printState(port);
        } else if (call == "present" && left >= 1) {
            std::printf("present %d\n", SerialPort::present(nameArg(argv[i + 1])) ? 1 : 0);
            i += 1;
        } else if (call == "wait") {
            std::printf("wait\n");
            std::fflush(stdout);
            char line[16];
            if (!std::fgets(line, sizeof line, stdin))
                return usage("wait");
        } else if (call == "path" && left >= 1) {
            const std::string path = SerialPort::devicePath(nameArg(argv[i + 1]));
            std::printf("path %zu %s\n", path.size(), path.c_str());
            i += 1;
        } else {
            return usage(argv[i]);
        }
        std::fflush(stdout);
    }
    return 0;
}
