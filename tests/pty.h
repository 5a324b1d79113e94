#pragma once

#include <QByteArray>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The master side of a pseudo-terminal; the program opens the slave by path.
struct Pty
{
    int master = -1;
    QByteArray slavePath;

    Pty()
    {
        int slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        ::close(slave);
        slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    void closeMaster()
    {
        if (master != -1)
            ::close(master);
        master = -1;
    }

    // What has arrived, waiting until nothing more comes for quietMs.
    QByteArray read(int quietMs = 50)
    {
        QByteArray bytes;
        for (;;) {
            pollfd pfd { master, POLLIN, 0 };
            if (poll(&pfd, 1, quietMs) <= 0 || !(pfd.revents & POLLIN))
                return bytes;
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                return bytes;
            bytes.append(buffer, n);
        }
    }

    // Whether the slave is in exclusive mode, which stays on the terminal while
    // the master is open, whoever closed the slave. Root's opens ignore it, so
    // the flag itself is read; any other user is simply refused.
    bool slaveExclusive() const
    {
        const int fd = ::open(slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno == EBUSY;
        int exclusive = 0;
        ioctl(fd, TIOCGEXCL, &exclusive);
        ::close(fd);
        return exclusive != 0;
    }

    termios lineSettings() const
    {
        termios tio {};
        tcgetattr(master, &tio);
        return tio;
    }
};
