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
    Result result;
    const bool hasBom = bytes.startsWith("\xEF\xBB\xBF");
    if (hasBom)
        bytes = bytes.sliced(3);

    // Split first, so that what follows the last line used is never judged.
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    qsizetype used = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size && lines.size() < showCount; ++i) {
        const char c = bytes[i];
        if (c == '\0') {
            result.error = Error::Binary;
            return result;
        }
        if (c != '\r' && c != '\n') {
            if (i - start >= maxLineBytes) {
                result.error = Error::LineTooLong;
                return result;
            }
            continue;
        }
        lines.append(bytes.sliced(start, i - start));
        if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
        used = start;
    }
    if (lines.size() < showCount && start < size) {
        lines.append(bytes.sliced(start));
        used = size;
    }

    const bool utf8 = hasBom || isValidUtf8(bytes.first(used));
    result.names.reserve(lines.size());
    for (const QByteArrayView line : lines)
        result.names.append(utf8 ? QString::fromUtf8(line) : decodeWindows1252(line));
    if (firstTooLong(result.names) >= 0)
        return { Error::LineTooLong, {} };
    return result;
}

Result read(QIODevice &device)
{
    // Every line used, at its longest, with a two-byte line end, plus a BOM.
    // A line cut off at this bound is always longer than maxLineBytes or lies
    // beyond the last line used.
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
        name.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        bytes += name.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace NameFile
