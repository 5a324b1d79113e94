// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the name-file reader, straight and through a
// device, and checks what every caller relies on.
#include "names/namefilecodec.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte can ask for the rest to be repeated, so that inputs reach
    // past the reader's size bound, which plain fuzzing of short inputs never
    // crosses. 0xFE and 0xFF are left alone: they start the UTF-16 marks.
    QByteArray bytes;
    if (size > 1 && data[0] >= 0xF0 && data[0] < 0xFE) {
        const QByteArray unit(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
        const qsizetype wanted = qsizetype(data[0] - 0xEF) * 128 * 1024;
        while (bytes.size() < wanted)
            bytes += unit;
    } else {
        bytes = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    }

    const NameFile::Result decoded = NameFile::decode(bytes);
    if (decoded.names.size() > NameFile::showCount)
        fail("more names than shows");
    if (decoded.error != NameFile::Error::None && !decoded.names.isEmpty())
        fail("names returned with an error");

    // The reader stops at its bound, but must see the same file as decode.
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const NameFile::Result read = NameFile::read(buffer);
    if (read.error != decoded.error || read.names != decoded.names)
        fail("read and decode disagree");

    if (decoded.error != NameFile::Error::None)
        return 0;
    for (const QString &name : decoded.names) {
        if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
            fail("a name holds a line break");
    }

    // What is saved loads back as the same shows, the missing ones empty;
    // only control characters other than tab are saved as blanks.
    const NameFile::Result again = NameFile::decode(NameFile::encode(decoded.names));
    if (again.error != NameFile::Error::None)
        fail("a saved file does not load");
    if (again.names.size() != NameFile::showCount)
        fail("a saved file does not hold every show");
    for (int i = 0; i < NameFile::showCount; ++i) {
        QString expected = i < decoded.names.size() ? decoded.names.at(i) : QString();
        for (QChar &c : expected) {
            if (c.category() == QChar::Other_Control && c != u'\t')
                c = u' ';
        }
        if (again.names.at(i) != expected)
            fail("a name changed on its way through a file");
    }
    return 0;
}
