#pragma once

#include <QByteArray>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
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

    termios lineSettings() const
    {
        termios tio {};
        tcgetattr(master, &tio);
        return tio;
    }
};
