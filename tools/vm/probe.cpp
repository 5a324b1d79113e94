// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The VM test's hands on a guest port without a window: SerialPort as the
// program uses it, driven by one command per line on standard input, each
// answered by one "@@" line the host runner reads.
//   open PATH BAUD DATA STOP EVEN   open the port as the program would
//   write TEXT...                   one SerialPort::write per word
//   line                            the line settings the driver reports
//   modem                           DTR and RTS as the driver reports them
//   second PATH                     open the same path a second time
//   flood N                         write Off N times, or until a write fails
//   close | quit
#include "serialport.h"
#include "heldport.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include <sys/ioctl.h>
#include <termios.h>

namespace {

std::string portPath;

int heldFd()
{
    return portPath.empty() ? -1 : heldDescriptor(portPath);
}

void lineSettings()
{
    termios tio {};
    if (tcgetattr(heldFd(), &tio) != 0) {
        std::printf("@@line error=%d\n", errno);
        return;
    }
    const speed_t speed = cfgetospeed(&tio);
    const int size = (tio.c_cflag & CSIZE) == CS8 ? 8 : (tio.c_cflag & CSIZE) == CS7 ? 7
                   : (tio.c_cflag & CSIZE) == CS6 ? 6 : 5;
    // Raw: nothing of what the program writes or the line brings is changed.
    const bool raw = !(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN))
                  && !(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY))
                  && !(tio.c_oflag & OPOST);
    std::printf("@@line speed=%d data=%d parity=%s stop=%d clocal=%d cread=%d crtscts=%d raw=%d hupcl=%d\n",
                speed == B9600 ? 9600 : int(speed), size,
                !(tio.c_cflag & PARENB) ? "N" : (tio.c_cflag & PARODD) ? "O" : "E",
                (tio.c_cflag & CSTOPB) ? 2 : 1, !!(tio.c_cflag & CLOCAL), !!(tio.c_cflag & CREAD),
                !!(tio.c_cflag & CRTSCTS), raw, !!(tio.c_cflag & HUPCL));
}

void modemLines()
{
    int lines = 0;
    if (ioctl(heldFd(), TIOCMGET, &lines) != 0)
        std::printf("@@modem error=%d\n", errno);
    else
        std::printf("@@modem dtr=%d rts=%d\n", !!(lines & TIOCM_DTR), !!(lines & TIOCM_RTS));
}

} // namespace

int main()
{
    SerialPort port;
    std::printf("@@probe ready\n");
    std::fflush(stdout);
    std::string input;
    while (std::getline(std::cin, input)) {
        std::istringstream words(input);
        std::string command;
        words >> command;
        if (command == "open") {
            int baud = 0, data = 0, stop = 0, even = 0;
            words >> portPath >> baud >> data >> stop >> even;
            const int code = port.open(portPath.c_str(), baud, data, stop, even);
            std::printf("@@open %d reason=%d errno=%d\n", code, int(port.reason()), port.systemError());
        } else if (command == "write") {
            std::string text;
            int failed = 0;
            while (words >> text)
                failed += port.write(text.c_str()) ? 0 : 1;
            std::printf("@@write failed=%d errno=%d\n", failed, port.systemError());
        } else if (command == "line") {
            lineSettings();
        } else if (command == "modem") {
            modemLines();
        } else if (command == "second") {
            std::string path;
            words >> path;
            SerialPort other;
            const int code = other.open(path.c_str(), 9600, 8, 1, 0);
            std::printf("@@second %d reason=%d\n", code, int(other.reason()));
        } else if (command == "flood") {
            int count = 0;
            words >> count;
            int written = 0;
            while (written < count && port.write("X0100"))
                ++written;
            int queued = -1;
            ioctl(heldFd(), TIOCOUTQ, &queued);
            std::printf("@@flood written=%d outq=%d\n", written, queued);
        } else if (command == "close") {
            // Closing a tty may wait for its queue to drain.
            const auto started = std::chrono::steady_clock::now();
            port.close();
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started).count();
            std::printf("@@close ms=%lld held=%s\n", static_cast<long long>(ms), heldTtys().c_str());
        } else if (command == "quit") {
            break;
        } else {
            std::printf("@@unknown %s\n", command.c_str());
        }
        std::fflush(stdout);
    }
    port.close();
    return 0;
}
