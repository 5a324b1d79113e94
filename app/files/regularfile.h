// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFile>
#include <QString>

// Opens `fileName` for reading only if it is a regular file. A FIFO or a
// device would block the window or never end. The type is checked on the
// open handle, and the open itself does not wait, so a FIFO put in place
// after any check by name cannot hang the window either. On failure `why`,
// when given, says what is wrong in the system's words.
bool openRegularFile(QFile &file, const QString &fileName, QString *why = nullptr);

// Reads at most `maxBytes` of a regular file into `bytes`; returns why it
// could not, or an empty string. A caller bounding what it takes asks for
// one byte more than it accepts, to see that the file is too long.
QString readRegularFile(const QString &fileName, qint64 maxBytes, QByteArray &bytes);
