// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "regularfile.h"

#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool openRegularFile(QFile &file, const QString &fileName, QString *why)
{
    const auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QString notRegular = QStringLiteral("Not a regular file");
#ifdef O_NONBLOCK
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(qt_error_string(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(notRegular);
    }
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString reason = qt_error_string(errno);
        ::close(fd);
        return fail(reason);
    }
    return true;
#else
    // Windows has no FIFOs at file paths.
    file.setFileName(fileName);
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        return fail(notRegular);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    return true;
#endif
}

QString readRegularFile(const QString &fileName, qint64 maxBytes, QByteArray &bytes)
{
    QFile file;
    QString why;
    if (!openRegularFile(file, fileName, &why))
        return why;
    bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return {};
}
