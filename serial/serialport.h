// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One handle to a serial device, opened once, written to, never read.
// Plain C++ with no Qt, so the Win32 back end also builds with mingw-w64.
class SerialPort
{
public:
    // Why the last open or write failed, classified so the window can say what to do.
    enum class Reason {
        None,
        NoDevice,         // no such port
        PermissionDenied, // not allowed to open it
        Busy,             // another program holds it
        NotSerial,        // it exists but is not a serial device
        Other
    };

    SerialPort() = default;
    ~SerialPort(); // closes a port still open
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // 0 when the port is open and configured; otherwise the handle is closed and
    // -1: the device could not be opened (also: unknown name, name too long)
    // -2: the driver's queues could not be set up
    // -3: the line settings could not be read or applied
    // -4: the line definition could not be built from the arguments
    int open(const char *name, int baud, int dataBits, int stopBits, int evenParity);

    // Writes the bytes of text, nothing added. Returns false when the system
    // refused them or did not take them all within the write deadline (about
    // a second; on Windows the short time-out of writeSome).
    bool write(const char *text);

    // Writes what the line takes now of size bytes and returns that count,
    // 0 when it takes nothing now; -1 when the system refused them (the
    // device is gone). Never waits on POSIX; on Windows it waits at most the
    // port's short write time-out.
    int writeSome(const char *data, std::size_t size);

    // A descriptor to watch for writability and hang-up, -1 where there is
    // none (Windows: a serial handle cannot be polled without overlapped I/O).
    std::intptr_t descriptor() const;

    // Throws away anything received (nothing here reads, but a real line can
    // bring noise) and returns false when the device has hung up or reports
    // an error.
    bool stillConnected();

    // Safe to call twice and on an object whose open failed.
    void close();

    bool isOpen() const { return mHandle != -1; }

    // The system's own error number for the last failure (errno, or
    // GetLastError() on Windows), and what it means for the operator.
    int systemError() const { return mSystemError; }
    Reason reason() const { return mReason; }

    // The device path a port name stands for; empty when the name is refused.
    static std::string devicePath(const char *name);

    // Whether the device a port name stands for is there now, found without opening it.
    static bool present(const char *name);

private:
    void fail(int systemError);

    std::intptr_t mHandle = -1; // a file descriptor, or a HANDLE on Windows
    int mSystemError = 0;
    Reason mReason = Reason::None;
};
