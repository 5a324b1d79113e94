// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "serialport.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The Windows back end builds "\\.\NAME" in 200 characters; a path here may
// be longer, but not without bound.
constexpr std::size_t maxPathLength = 4095;

// Milliseconds a write may wait for the line to drain before it gives up, so
// that a stalled port (flow control, no carrier, a dead adapter) can never
// freeze the window.
constexpr int writeDeadlineMs = 1000;

// Milliseconds close() gives the driver's queue to drain: at 9600 baud about
// twenty commands, far more than the line writer ever leaves queued.
constexpr int closeDrainMs = 100;

long long nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

speed_t baudConstant(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

tcflag_t dataBitsFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return 0;
    }
}

// The line definition a set of open() arguments stands for, on top of the
// device's current settings; false when an argument has no termios form.
bool buildLine(termios &tio, int baud, int dataBits, int stopBits, int evenParity)
{
    const speed_t speed = baudConstant(baud);
    const tcflag_t size = dataBitsFlag(dataBits);
    if (speed == B0 || size == 0 || (stopBits != 1 && stopBits != 2))
        return false;

    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    tio.c_cflag |= size | CLOCAL | CREAD;
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (evenParity)
        tio.c_cflag |= PARENB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0;
}

// Linux's pseudo-terminal slaves (Unix98, majors 136 to 143).
bool isPseudoTerminal(const struct stat &st)
{
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

bool sameLine(const termios &want, const termios &got, bool pseudoTerminal)
{
    // A pseudo-terminal fixes character size and parity at eight bits, no
    // parity, whatever was asked; a real driver must take them as asked.
    tcflag_t cmask = CSTOPB | CRTSCTS | CLOCAL | CREAD;
    if (!pseudoTerminal)
        cmask |= CSIZE | PARENB | PARODD;
    return cfgetispeed(&want) == cfgetispeed(&got)
        && cfgetospeed(&want) == cfgetospeed(&got)
        && (want.c_cflag & cmask) == (got.c_cflag & cmask)
        && (want.c_iflag & (IXON | IXOFF | IXANY)) == (got.c_iflag & (IXON | IXOFF | IXANY))
        && (want.c_oflag & OPOST) == (got.c_oflag & OPOST);
}

// Drains what the driver still holds for a short while, drops the rest,
// clears exclusive mode and closes. The kernel's own close() waits until the
// driver's queue has gone out, up to 30 s on the 8250 and USB serial
// drivers: on a stalled line the program could not end, nor another open the
// port. A line that moves empties it well within the short wait here.
// Exclusive mode belongs to the terminal, not to the descriptor: it stays on
// after close() while anyone else has the device open (the far side of a
// pseudo-terminal, a program that shares the line), and keeps every user but
// root out. The flock() goes with the descriptor.
void releaseLine(int fd)
{
    const long long deadline = nowMs() + closeDrainMs;
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && nowMs() < deadline)
        poll(nullptr, 0, 5);
    if (queued > 0)
        tcflush(fd, TCOFLUSH);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

// The descriptors open now, plus one (0 is a free slot), for the exit
// handler: a process that ends by exit() without destroying its ports (Qt
// ends it so when the X connection is lost) would otherwise leave them in
// exclusive mode. More ports than slots are simply not covered.
std::atomic<int> openLines[16] {};

void releaseLinesAtExit()
{
    for (std::atomic<int> &slot : openLines) {
        const int fdPlusOne = slot.exchange(0);
        if (fdPlusOne != 0)
            releaseLine(fdPlusOne - 1);
    }
}

void noteOpen(int fd)
{
    static const bool handlerInstalled = std::atexit(releaseLinesAtExit) == 0;
    (void)handlerInstalled;
    for (std::atomic<int> &slot : openLines) {
        int expected = 0;
        if (slot.compare_exchange_strong(expected, fd + 1))
            return;
    }
}

void noteClosed(int fd)
{
    for (std::atomic<int> &slot : openLines) {
        int expected = fd + 1;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

} // namespace

std::string SerialPort::devicePath(const char *name)
{
    if (!name)
        return {};
    static const char *const ports[] = { "COM1", "COM2", "COM3", "COM4" };
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(name, ports[i]) == 0)
            return "/dev/ttyS" + std::to_string(i);
    }
    // USB adapters and pseudo-terminals are stored by their full path.
    if (name[0] == '/' && std::strlen(name) <= maxPathLength)
        return name;
    return {};
}

// stat() follows symlinks: a by-id link left dangling by a pulled adapter
// counts as absent.
bool SerialPort::present(const char *name)
{
    const std::string path = devicePath(name);
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

SerialPort::~SerialPort()
{
    close();
}

void SerialPort::fail(int systemError)
{
    mSystemError = systemError;
    switch (systemError) {
    case 0: mReason = Reason::None; break;
    // EIO: a ttyS node with no UART behind it fails to open with it, and a
    // USB adapter pulled out fails writes with it or with ENODEV.
    case EIO:
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENAMETOOLONG:
    case ENOTDIR: mReason = Reason::NoDevice; break;
    case EACCES:
    case EPERM:
    case EROFS: mReason = Reason::PermissionDenied; break;
    case EBUSY:
    case EWOULDBLOCK: mReason = Reason::Busy; break;
    case ENOTTY:
    case EISDIR:
    case EINVAL: mReason = Reason::NotSerial; break;
    default: mReason = Reason::Other; break;
    }
}

int SerialPort::open(const char *name, int baud, int dataBits, int stopBits, int evenParity)
{
    // Each object is meant to be opened once; a second open must not leak
    // the first descriptor, whose lock would hold the port until exit.
    close();
    fail(0);
    const std::string path = devicePath(name);
    if (path.empty()) {
        fail(ENOENT);
        return -1;
    }

    // O_NONBLOCK: without CLOCAL yet, a port with no carrier would block open().
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(errno);
        return -1;
    }

    // A regular file or a directory named by a stored path is no port: refuse
    // it before anything could be written to it. Until the lock below is ours,
    // a failure closes the bare descriptor: close() would clear an exclusive
    // mode that belongs to whoever holds the port.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !isatty(fd)) {
        ::close(fd);
        fail(ENOTTY);
        return -1;
    }

    // TIOCEXCL does not stop root, so also take an advisory lock: two copies of
    // this program, or any other careful program, then never share the line.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        fail(err == EWOULDBLOCK ? EBUSY : err);
        return -1;
    }
    mHandle = fd;
    noteOpen(fd);
    if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        const int err = errno;
        close();
        fail(err);
        return -1;
    }

    // The kernel has no driver queue sizes to set; the step that can fail
    // here is the one that reads the line settings.
    termios tio {};
    if (tcgetattr(fd, &tio) != 0) {
        const int err = errno;
        close();
        fail(err);
        return -3;
    }
    if (!buildLine(tio, baud, dataBits, stopBits, evenParity)) {
        close();
        fail(EINVAL);
        return -4;
    }
    // tcsetattr() succeeds when any part of the request applied: read back.
    termios applied {};
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || tcgetattr(fd, &applied) != 0) {
        const int err = errno;
        close();
        fail(err);
        return -3;
    }
    if (!sameLine(tio, applied, isPseudoTerminal(st))) {
        close();
        fail(EOPNOTSUPP);
        return -3;
    }

    // DTR up, RTS down. A pseudo-terminal has no modem lines: ENOTTY and
    // EINVAL are not errors here.
    int lines = TIOCM_DTR;
    if (ioctl(fd, TIOCMBIS, &lines) == 0) {
        lines = TIOCM_RTS;
        ioctl(fd, TIOCMBIC, &lines);
    }
    return 0;
}

bool SerialPort::write(const char *text)
{
    if (mHandle == -1 || !text)
        return false;
    const int fd = static_cast<int>(mHandle);
    const char *p = text;
    std::size_t left = std::strlen(text);
    const long long deadline = nowMs() + writeDeadlineMs;

    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(errno);
            return false;
        }
        const long long wait = deadline - nowMs();
        if (wait <= 0) {
            fail(ETIMEDOUT);
            return false;
        }
        pollfd pfd { fd, POLLOUT, 0 };
        if (poll(&pfd, 1, static_cast<int>(wait)) < 0 && errno != EINTR) {
            fail(errno);
            return false;
        }
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            fail(EIO);
            return false;
        }
    }
    return true;
}

int SerialPort::writeSome(const char *data, std::size_t size)
{
    if (mHandle == -1 || !data)
        return -1;
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(mHandle), data, size);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        fail(errno);
        return -1;
    }
}

std::intptr_t SerialPort::descriptor() const
{
    return mHandle;
}

bool SerialPort::stillConnected()
{
    if (mHandle == -1)
        return false;
    const int fd = static_cast<int>(mHandle);
    pollfd pfd { fd, POLLIN, 0 };
    if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
        fail(pfd.revents & POLLNVAL ? EBADF : EIO);
        return false;
    }
    if (pfd.revents & POLLIN)
        tcflush(fd, TCIFLUSH);
    return true;
}

void SerialPort::close()
{
    if (mHandle == -1)
        return;
    const int fd = static_cast<int>(mHandle);
    noteClosed(fd);
    releaseLine(fd);
    mHandle = -1;
}
