// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

class QIODevice;

// A show-name file: one name per line, in show order. Written as UTF-8, 128
// lines each ending in CR LF. Read line by line: a line that is valid UTF-8 is
// UTF-8, any other line Windows-1252 (the 8-bit Windows version and old
// editors); a file starting with a UTF-16 byte-order mark is UTF-16. Any line
// end (CR LF, LF, CR).
namespace NameFile {

inline constexpr int showCount = 128;

// No show name comes near this many characters (UTF-16 code units); a longer
// line means the file is not a name file, and the bound keeps a wrong choice
// from eating memory.
inline constexpr qsizetype maxNameLength = 4096;

// The most bytes such a name takes in UTF-8, so that every name file that
// was saved loads again, even one read as Windows-1252 where "€" is one byte.
inline constexpr qsizetype maxLineBytes = 3 * maxNameLength;

enum class Error {
    None,
    ReadFailed,
    Binary,     // it holds NUL characters
    LineTooLong // a name longer than maxNameLength
};

struct Result
{
    Error error = Error::None;
    QStringList names; // at most showCount, in show order
};

// Decodes the first showCount lines of bytes; later lines are ignored.
Result decode(QByteArrayView bytes);

// Reads no more of the device than showCount lines of the longest allowed
// length can take, so a huge file costs no more than a small one.
Result read(QIODevice &device);

// Exactly showCount lines; missing names are written empty. A control
// character other than tab becomes a blank: a line break would shift the
// shows after it, a NUL would make the file binary.
QByteArray encode(const QStringList &names);

// The index of the first name too long to load again, or -1.
int firstTooLong(const QStringList &names);

QString decodeWindows1252(QByteArrayView bytes);

} // namespace NameFile
