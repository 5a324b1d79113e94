// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/filelock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <io.h>
#include <windows.h>

namespace FileLock {

namespace {

HANDLE handleOf(QFile &file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
}

} // namespace

// The first byte, though the file is empty: Windows locks a range beyond the
// end as well, and only this lock ever touches the file.
bool lock(QFile &file, int waitMs)
{
    const HANDLE handle = handleOf(file);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        OVERLAPPED at {};
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return true;
        if (GetLastError() != ERROR_LOCK_VIOLATION || deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
}

void unlock(QFile &file)
{
    OVERLAPPED at {};
    UnlockFileEx(handleOf(file), 0, 1, 0, &at);
}

} // namespace FileLock
