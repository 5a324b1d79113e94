// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "serialport.h"

#include <windows.h>
#include <setupapi.h>
// After the headers that only declare GUIDs: this one defines the ports class.
#include <initguid.h>
#include <devguid.h>

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

// What a serial device answers once it has gone (a USB adapter pulled out,
// its driver stopped): drivers do not agree on one code. Wine answers
// ERROR_NOT_READY once the terminal behind a port has hung up.
bool deviceGone(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_OPERATION_ABORTED: // nothing here cancels a write; a removal does
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

// Most drivers end a timed-out write with success and a short count; some
// fail it with one of these instead. Either way the line is only slow.
bool timedOut(DWORD error)
{
    return error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT;
}

// Whether a ports-class device was given this COM name (its PortName, kept
// in the device's own registry key).
bool hasPortName(HDEVINFO set, SP_DEVINFO_DATA &device, const char *name)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return false;
    char value[256];
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const bool read = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE *>(value), &size)
            == ERROR_SUCCESS
        && type == REG_SZ;
    RegCloseKey(key);
    if (!read)
        return false;
    value[size] = '\0';
    return lstrcmpiA(value, name) == 0;
}

// Whether Plug and Play lists a ports-class device with this COM name:
// DIGCF_PRESENT for the ones there now, 0 also for those it remembers.
bool plugAndPlayLists(const char *name, DWORD flags)
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    bool found = false;
    for (DWORD index = 0; !found && SetupDiEnumDeviceInfo(set, index, &device); ++index)
        found = hasPortName(set, device, name);
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

// The serial drivers' own list: "\Device\Serial0" = "COM1". It also holds
// ports without a Plug and Play device (virtual port drivers, Wine).
bool serialCommLists(const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS) {
        return false;
    }
    bool found = false;
    for (DWORD index = 0; !found; ++index) {
        char valueName[256];
        char data[256];
        DWORD nameSize = sizeof valueName;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &dataSize);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        data[dataSize] = '\0';
        found = type == REG_SZ && lstrcmpiA(data, name) == 0;
    }
    RegCloseKey(key);
    return found;
}

bool onWine()
{
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// Wine's ports are no Plug and Play devices, and it writes its list of
// serial ports once, when its server starts, from the Unix devices the ports
// are mapped to: COM2 stays listed after the terminal behind it is gone.
// Asking Wine for the attributes of a device path looks that Unix device up
// without opening it, and fails with ERROR_BAD_DEV_TYPE (or file-not-found)
// when it is not there. Windows itself would open the device to answer, so
// only Wine is asked this way.
bool wineDeviceThere(const std::string &path)
{
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error != ERROR_BAD_DEV_TYPE && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
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

    // Wine opens a port it lists but whose Unix device is gone as a stub
    // that refuses every comm call; Windows answers that a port not there is
    // not found.
    if (onWine() && serialCommLists(name) && !wineDeviceThere(path)) {
        fail(ERROR_FILE_NOT_FOUND);
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
        const DWORD error = GetLastError();
        fail(timedOut(error) ? ERROR_TIMEOUT : error);
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
        const DWORD error = GetLastError();
        // A stall: what the line took before the time-out, often nothing.
        if (timedOut(error))
            return static_cast<int>(written);
        fail(error);
        return -1;
    }
    return static_cast<int>(written);
}

std::intptr_t SerialPort::descriptor() const
{
    return -1;
}

bool SerialPort::stillConnected()
{
    if (mHandle == -1)
        return false;
    DWORD lineErrors = 0;
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    // A cheap question that every serial driver answers without touching
    // the line. Line errors (break, framing, overrun) are what a line that
    // nothing reads collects; the call clears them, and they say nothing
    // about the device.
    if (!ClearCommError(toHandle(mHandle), &lineErrors, &status)) {
        const DWORD error = GetLastError();
        // A driver that refuses the call for another reason may still
        // write: the next write tells.
        if (!deviceGone(error) && error != ERROR_ACCESS_DENIED)
            return true;
        fail(error);
        return false;
    }
    if (status.cbInQue > 0)
        PurgeComm(toHandle(mHandle), PURGE_RXCLEAR);
    return true;
}

// A Plug and Play answer stands: a device it remembers but is not there now
// is a pulled adapter, whatever the drivers' list still says. Only a name it
// does not know at all (a port without a Plug and Play driver, or any port
// under Wine) is looked up in that list.
bool SerialPort::present(const char *name)
{
    const std::string path = devicePath(name);
    if (path.empty())
        return false;
    if (plugAndPlayLists(name, DIGCF_PRESENT))
        return true;
    if (plugAndPlayLists(name, 0) || !serialCommLists(name))
        return false;
    return !onWine() || wineDeviceThere(path);
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
    const auto error = static_cast<DWORD>(systemError);
    if (deviceGone(error)) {
        mReason = Reason::NoDevice;
        return;
    }
    switch (error) {
    case ERROR_INVALID_NAME: // also what a malformed or refused name yields
        mReason = Reason::NoDevice;
        break;
    // Windows answers "access denied", not a sharing violation, for a COM
    // port that another program holds; PermissionDenied cannot be told apart.
    // On a handle already open the sharing check is long past: there some
    // drivers answer it once their device is gone.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        mReason = mHandle == -1 ? Reason::Busy : Reason::NoDevice;
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
