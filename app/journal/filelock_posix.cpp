// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/filelock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>

#include <sys/file.h>

namespace FileLock {

// flock, not fcntl: an fcntl lock belongs to the process, so two journals in
// one process would not wait for each other.
bool lock(QFile &file, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (::flock(file.handle(), LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

void unlock(QFile &file)
{
    ::flock(file.handle(), LOCK_UN);
}

} // namespace FileLock
