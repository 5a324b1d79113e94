// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "namefilecodec.h"

#include <QIODevice>
#include <QStringDecoder>

namespace NameFile {

namespace {

// 0x80 to 0x9F; the five bytes Windows leaves undefined keep their C1 code.
constexpr char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

// Splits bytes or UTF-16 code units into at most showCount lines; what
// follows the last line used is never judged, so junk after it is fine.
template <typename View>
Error splitLines(View text, qsizetype maxLength, QList<View> &lines)
{
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size && lines.size() < showCount; ++i) {
        const auto c = text[i];
        if (c == u'\0')
            return Error::Binary;
        if (c != u'\r' && c != u'\n') {
            if (i - start >= maxLength)
                return Error::LineTooLong;
            continue;
        }
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (lines.size() < showCount && start < size)
        lines.append(text.sliced(start));
    return Error::None;
}

// Files joined from several, each with its byte-order mark, carry marks at
// the starts of later lines. All are dropped, so that no name starts with
// one: saved first, it would read as the file's own mark and be lost.
QString withoutLeadingMarks(QString name)
{
    qsizetype marks = 0;
    while (marks < name.size() && name.at(marks) == QChar::ByteOrderMark)
        ++marks;
    return marks == 0 ? name : name.sliced(marks);
}

Result decodeUtf16(QByteArrayView bytes, QStringDecoder::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    // The decoder passes a lone surrogate through, and UTF-8 cannot hold
    // one: it is replaced here, so a save writes what was loaded.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    QList<QStringView> lines;
    Result result;
    result.error = splitLines(QStringView(text), maxNameLength, lines);
    if (result.error != Error::None)
        return result;
    for (const QStringView line : lines)
        result.names.append(withoutLeadingMarks(line.toString()));
    return result;
}

} // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(windows1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

Result decode(QByteArrayView bytes)
{
    // Notepad's "Unicode" is UTF-16 with a byte-order mark; its NUL bytes
    // are not binary data.
    if (bytes.startsWith("\xFF\xFE"))
        return decodeUtf16(bytes.sliced(2), QStringDecoder::Utf16LE);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeUtf16(bytes.sliced(2), QStringDecoder::Utf16BE);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);

    QList<QByteArrayView> lines;
    Result result;
    result.error = splitLines(bytes, maxLineBytes, lines);
    if (result.error != Error::None)
        return result;
    // Line by line: one line saved by an old 8-bit editor must not turn the
    // UTF-8 names around it into mojibake, nor a BOM turn it into U+FFFD.
    result.names.reserve(lines.size());
    for (QByteArrayView line : lines) {
        // Also before a line in Windows-1252, where it would read as "ï»¿".
        while (line.startsWith("\xEF\xBB\xBF"))
            line = line.sliced(3);
        result.names.append(isValidUtf8(line) ? QString::fromUtf8(line) : decodeWindows1252(line));
    }
    if (firstTooLong(result.names) >= 0)
        return { Error::LineTooLong, {} };
    return result;
}

Result read(QIODevice &device)
{
    // Every line used, at its longest, with a two-byte line end, plus a BOM.
    // A line cut off at this bound is always longer than maxLineBytes or lies
    // beyond the last line used; UTF-16 lines, at most 2 * maxNameLength + 4
    // bytes each, end well inside it.
    constexpr qint64 bound = showCount * (maxLineBytes + 2) + 3;
    QByteArray bytes(bound, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < bound) {
        const qint64 n = device.read(bytes.data() + filled, bound - filled);
        if (n < 0) {
            Result failed;
            failed.error = Error::ReadFailed;
            return failed;
        }
        if (n == 0)
            break;
        filled += n;
    }
    bytes.truncate(filled);
    return decode(bytes);
}

int firstTooLong(const QStringList &names)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).size() > maxNameLength)
            return i;
    }
    return -1;
}

QByteArray encode(const QStringList &names)
{
    QByteArray bytes;
    for (int i = 0; i < showCount; ++i) {
        QString name = i < names.size() ? names.at(i) : QString();
        for (QChar &c : name) {
            if (c.category() == QChar::Other_Control && c != u'\t')
                c = u' ';
        }
        bytes += name.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace NameFile
