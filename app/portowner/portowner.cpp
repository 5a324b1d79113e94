// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portowner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace {

QString folder()
{
    if (const QString chosen = qEnvironmentVariable("LUMIVANE_LOCK_DIR"); !chosen.isEmpty())
        return chosen;
#ifdef Q_OS_WIN
    const QString shared = qEnvironmentVariable("ProgramData");
    if (!shared.isEmpty() && QDir().mkpath(shared + QStringLiteral("/Lumivane")))
        return shared + QStringLiteral("/Lumivane");
#else
    if (QFileInfo(QStringLiteral("/run/lock")).isWritable())
        return QStringLiteral("/run/lock");
#endif
    return QDir::tempPath();
}

bool running(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
#else
    // Another user's process answers EPERM, and runs all the same.
    return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
#endif
}

} // namespace

namespace PortOwner {

QString notePath(const QString &port)
{
    // One note per device, however it is named (a link to a pseudo-terminal,
    // COM1): the name made safe for a file name.
    const QFileInfo info(port);
    QString name = info.exists() ? info.canonicalFilePath() : port;
    for (QChar &c : name) {
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    }
    return folder() + QStringLiteral("/lumivane-") + name + QStringLiteral(".owner");
}

void claim(const QString &port, const QString &role)
{
    // Written whole or not at all; without a note the other Lumivane says
    // only that the port is in use.
    QSaveFile note(notePath(port));
    if (!note.open(QIODevice::WriteOnly))
        return;
    note.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n' + role.toUtf8() + '\n');
    note.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    note.commit();
}

void release(const QString &port)
{
    QFile note(notePath(port));
    if (note.open(QIODevice::ReadOnly) && note.readLine().trimmed().toLongLong() == QCoreApplication::applicationPid()) {
        note.close();
        note.remove();
    }
}

std::optional<QString> holder(const QString &port)
{
    QFile note(notePath(port));
    if (!note.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 pid = note.readLine(32).trimmed().toLongLong();
    const QString role = QString::fromUtf8(note.readLine(32).trimmed());
    if (!running(pid) || pid == QCoreApplication::applicationPid())
        return std::nullopt;
    // The role is read from a file anyone may have written: only ours is told.
    const QString shown = role == QLatin1String("service") ? role : QStringLiteral("window");
    return QStringLiteral("Lumivane (%1, process %2)").arg(shown).arg(pid);
}

} // namespace PortOwner
