#include "serialport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Both local buffers hold 200 characters, terminator included.
constexpr std::size_t kBufferSize = 200;

// Queue sizes are only a hint: drivers may round them or ignore them.
constexpr DWORD kQueueSize = 2048;

// Without a write time-out a port held by flow control (or a stuck driver)
// would block the GUI thread for ever. Five bytes at 9600 baud take 5.2 ms;
// a driver that completes a write only once it is on the wire still gets it
// done within this, and a stuck line costs the window no more than this per
// try. What a timed-out write did not take is tried again later.
constexpr DWORD kWriteTimeoutMs = 10;

HANDLE toHandle(std::intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

SerialPort::~SerialPort()
{
    close();
}

std::string SerialPort::devicePath(const char *name)
{
    if (!name || !*name)
        return {};
    // "\\.\" reaches the device namespace directly; plain "COM10" and above
    // would otherwise be taken for a file name.
    char path[kBufferSize];
    const int n = std::snprintf(path, sizeof path, "\\\\.\\%s", name);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof path)
        return {};
    return path;
}

int SerialPort::open(const char *name, int baud, int dataBits, int stopBits, int evenParity)
{
    // Each object is meant to be opened once; a second open must not leak
    // the first handle all the same.
    close();
    mSystemError = 0;
    mReason = Reason::None;

    const std::string path = devicePath(name);
    if (path.empty()) {
        fail(ERROR_INVALID_NAME);
        return -1;
    }

    // Share mode 0: exclusive, so a second program cannot interleave bytes.
    // Flags 0: synchronous I/O, the time-outs below bound each write.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        fail(GetLastError());
        return -1;
    }
    mHandle = reinterpret_cast<std::intptr_t>(h);

    // The error is taken before close(), which may overwrite it.
    const auto abandon = [this](int code) {
        fail(GetLastError());
        close();
        return code;
    };

    if (!SetupComm(h, kQueueSize, kQueueSize))
        return abandon(-2);

    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb))
        return abandon(-3);

    char definition[kBufferSize];
    const int n = std::snprintf(definition, sizeof definition, "baud=%d data=%d stop=%d parity=%s",
                                baud, dataBits, stopBits, evenParity ? "E" : "N");
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof definition) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return abandon(-4);
    }
    // BuildCommDCB leaves the flags it is not told about as GetCommState
    // found them, which on a real port is whatever the last program left.
    if (!BuildCommDCBA(definition, &dcb))
        return abandon(-4);

    dcb.fBinary = TRUE; // Windows supports no other mode
    dcb.fParity = evenParity ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    // With it on, one line error makes every later write fail until someone
    // calls ClearCommError, which nothing here does.
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(h, &dcb))
        return abandon(-3);

    // Reads never happen; the read values only keep a stray ReadFile from
    // waiting. A total constant with no multiplier caps every write alike.
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!SetCommTimeouts(h, &timeouts))
        return abandon(-3);

    return 0;
}

bool SerialPort::write(const char *text)
{
    // Nothing recorded: the reason the open failed stays the one to show.
    if (mHandle == -1)
        return false;
    if (!text) {
        fail(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::size_t length = std::strlen(text);
    if (length > MAXDWORD) {
        fail(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(toHandle(mHandle), text, static_cast<DWORD>(length), &written, nullptr)) {
        fail(GetLastError());
        return false;
    }
    // A write time-out is a success with a short count, not an error.
    if (written != length) {
        fail(ERROR_TIMEOUT);
        return false;
    }
    mSystemError = 0;
    mReason = Reason::None;
    return true;
}

int SerialPort::writeSome(const char *data, std::size_t size)
{
    if (mHandle == -1 || !data)
        return -1;
    if (size > MAXDWORD)
        size = MAXDWORD;
    DWORD written = 0;
    if (!WriteFile(toHandle(mHandle), data, static_cast<DWORD>(size), &written, nullptr)) {
        fail(GetLastError());
        return -1;
    }
    // A time-out is a success with a short count: the line is only slow.
    return static_cast<int>(written);
}

std::intptr_t SerialPort::descriptor() const
{
    return -1;
}

bool SerialPort::stillConnected()
{
    // Nothing to watch without a descriptor: a vanished device shows when
    // the next write fails.
    return mHandle != -1;
}

void SerialPort::close()
{
    if (mHandle == -1)
        return;
    CloseHandle(toHandle(mHandle));
    mHandle = -1;
}

void SerialPort::fail(int systemError)
{
    mSystemError = systemError;
    switch (static_cast<DWORD>(systemError)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: // also what a malformed or refused name yields
        mReason = Reason::NoDevice;
        break;
    // Windows answers "access denied", not a sharing violation, for a COM
    // port that another program holds; PermissionDenied cannot be told apart.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        mReason = Reason::Busy;
        break;
    // What the comm calls answer on a handle that is not a serial device.
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
        mReason = Reason::NotSerial;
        break;
    default:
        mReason = Reason::Other;
        break;
    }
}
