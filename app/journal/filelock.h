// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QFile;

// An exclusive lock on an open file, which every program taking it the same
// way waits for: flock(2) on Linux, LockFileEx on Windows. The system lets
// go of it when the file is closed or the program ends, so a crash leaves
// nothing held. No fsync, unlike QLockFile, so it costs nothing per record.
namespace FileLock {

// Waits at most waitMs; false when the lock is still held elsewhere then, or
// the file takes no lock.
bool lock(QFile &file, int waitMs);
void unlock(QFile &file);

} // namespace FileLock
