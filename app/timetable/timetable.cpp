// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetable.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>

#include <cmath>

namespace Timetable {

namespace {

constexpr quint8 allDays = 0x7f;
constexpr quint8 monToFri = 0x1f;
constexpr quint8 satSun = 0x60;

const char *const shortNames[] = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
const char *const longNames[] = { "monday", "tuesday", "wednesday", "thursday",
                                  "friday", "saturday", "sunday" };

QString quoted(QStringView text)
{
    return u'"' + text.toString() + u'"';
}

// 0 to 6 from Monday, or -1.
int dayIndex(QStringView word)
{
    for (int i = 0; i < 7; ++i) {
        if (word.compare(QLatin1StringView(shortNames[i]), Qt::CaseInsensitive) == 0
            || word.compare(QLatin1StringView(longNames[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool isDateShaped(QStringView text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    return shape.match(text.toString()).hasMatch();
}

// An empty string, or what is wrong.
QString parseDate(QStringView text, QDate &out)
{
    if (!isDateShaped(text))
        return quoted(text) + QStringLiteral(" is not a date YYYY-MM-DD");
    out = QDate::fromString(text.toString(), Qt::ISODate);
    if (!out.isValid())
        return quoted(text) + QStringLiteral(" is not a date of the calendar");
    return {};
}

// Plain decimal digits only: no sign, no fraction, no blanks.
std::optional<int> wholeNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString lineError(int line, const QString &what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

// A note from the editor may hold anything; in the file it must stay on
// its line.
QString oneLine(const QString &note)
{
    QString out = note.simplified();
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return out;
}

QString withNote(const QString &line, const QString &note)
{
    const QString text = oneLine(note);
    return text.isEmpty() ? line : line + QStringLiteral("  # ") + text;
}

} // namespace

bool Days::contains(QDate day) const
{
    if (!day.isValid())
        return false;
    if (date.isValid())
        return day == date;
    return weekdays & (1u << (day.dayOfWeek() - 1));
}

bool Table::resting(QDate day) const
{
    for (const Rest &rest : rests) {
        if (day >= rest.from && day <= rest.to)
            return true;
    }
    return false;
}

QString missingLocation()
{
    return QStringLiteral("sunrise and sunset need a location line (location LAT LON)");
}

QString parseDays(QStringView text, Days &out)
{
    out = {};
    if (isDateShaped(text))
        return parseDate(text, out.date);
    const QString bad = quoted(text)
        + QStringLiteral(" is not a day: daily, weekdays, weekends, Mon to Sun, a list Mon,Wed,Fri,"
                         " a range Mon-Fri or a date YYYY-MM-DD");
    if (text.isEmpty())
        return bad;
    for (const QStringView item : text.split(u',')) {
        if (item.compare(u"daily", Qt::CaseInsensitive) == 0) {
            out.weekdays |= allDays;
        } else if (item.compare(u"weekdays", Qt::CaseInsensitive) == 0) {
            out.weekdays |= monToFri;
        } else if (item.compare(u"weekends", Qt::CaseInsensitive) == 0) {
            out.weekdays |= satSun;
        } else if (const qsizetype dash = item.indexOf(u'-'); dash >= 0) {
            const int first = dayIndex(item.left(dash));
            const int last = dayIndex(item.mid(dash + 1));
            if (first < 0 || last < 0)
                return bad;
            // A range may wrap past Sunday: Fri-Mon.
            for (int i = first;; i = (i + 1) % 7) {
                out.weekdays |= quint8(1u << i);
                if (i == last)
                    break;
            }
        } else if (const int day = dayIndex(item); day >= 0) {
            out.weekdays |= quint8(1u << day);
        } else {
            return bad;
        }
    }
    return {};
}

QString parseTime(QStringView text, Time &out)
{
    out = {};
    static const QRegularExpression clock(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    static const QRegularExpression sun(QStringLiteral("^(sunrise|sunset)(?:([+-])(\\d+))?$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = clock.match(text.toString()); m.hasMatch()) {
        const int h = m.capturedView(1).toInt();
        const int min = m.capturedView(2).toInt();
        const int s = m.hasCaptured(3) ? m.capturedView(3).toInt() : 0;
        if (h > 23 || min > 59 || s > 59)
            return quoted(text) + QStringLiteral(" is not a time of day (00:00 to 23:59:59)");
        out.clock = QTime(h, min, s);
        return {};
    }
    if (const auto m = sun.match(text.toString()); m.hasMatch()) {
        out.kind = m.capturedView(1).compare(u"sunrise", Qt::CaseInsensitive) == 0
            ? Time::Kind::Sunrise : Time::Kind::Sunset;
        if (m.hasCaptured(3)) {
            const auto minutes = wholeNumber(m.capturedView(3));
            if (!minutes || *minutes > maxSunOffset)
                return QStringLiteral("the offset in %1 is more than %2 minutes")
                    .arg(quoted(text)).arg(maxSunOffset);
            out.offsetMinutes = m.capturedView(2) == u"-" ? -*minutes : *minutes;
        }
        return {};
    }
    return quoted(text)
        + QStringLiteral(" is not a time: HH:MM, HH:MM:SS, or sunrise or sunset with an offset in"
                         " minutes, as sunset+15");
}

QString parseAction(QStringView text, Action &out)
{
    out = {};
    const QList<QStringView> words = text.split(u' ', Qt::SkipEmptyParts);
    const QString bad = quoted(text) + QStringLiteral(" is not an action: show N, brightness P or off");
    if (words.isEmpty())
        return bad;
    const QStringView verb = words.first();
    if (verb.compare(u"off", Qt::CaseInsensitive) == 0) {
        if (words.size() > 1)
            return quoted(words.at(1)) + QStringLiteral(" after off");
        out.kind = Action::Kind::Off;
        return {};
    }
    const bool show = verb.compare(u"show", Qt::CaseInsensitive) == 0;
    if (!show && verb.compare(u"brightness", Qt::CaseInsensitive) != 0)
        return bad;
    const int low = show ? 1 : 0;
    const int high = show ? 128 : 100;
    const QString range = show ? QStringLiteral("a show is 1 to 128")
                               : QStringLiteral("brightness is 0 to 100 percent");
    if (words.size() < 2)
        return quoted(text) + QStringLiteral(" has no number: ") + range;
    if (words.size() > 2)
        return quoted(words.at(2)) + QStringLiteral(" after the action");
    const auto value = wholeNumber(words.at(1));
    if (!value || *value < low || *value > high)
        return quoted(text) + QStringLiteral(": ") + range;
    out.kind = show ? Action::Kind::Show : Action::Kind::Brightness;
    out.value = *value;
    return {};
}

QString parseLocation(QStringView text, Location &out)
{
    out = {};
    const QList<QStringView> words = text.split(u' ', Qt::SkipEmptyParts);
    if (words.size() != 2)
        return QStringLiteral("location takes a latitude and a longitude in decimal degrees,"
                              " as location 52.52 13.405");
    bool latOk = false;
    bool lonOk = false;
    out.latitude = words.at(0).toDouble(&latOk);
    out.longitude = words.at(1).toDouble(&lonOk);
    if (!latOk || !std::isfinite(out.latitude) || std::abs(out.latitude) > 90)
        return QStringLiteral("the latitude %1 is not a number from -90 to 90").arg(quoted(words.at(0)));
    if (!lonOk || !std::isfinite(out.longitude) || std::abs(out.longitude) > 180)
        return QStringLiteral("the longitude %1 is not a number from -180 to 180").arg(quoted(words.at(1)));
    return {};
}

QString parseZone(QStringView text, QString &out)
{
    out.clear();
    const QString name = text.trimmed().toString();
    if (name.isEmpty() || name.contains(u' '))
        return QStringLiteral("zone takes one time zone name, as zone Europe/Berlin");
    if (!QTimeZone::isTimeZoneIdAvailable(name.toUtf8()))
        return QStringLiteral("%1 is not a time zone this computer knows (an IANA name, as Europe/Berlin)")
            .arg(quoted(name));
    out = name;
    return {};
}

QString parseRest(QStringView text, QDate &from, QDate &to)
{
    const qsizetype dots = text.indexOf(u"..");
    if (dots < 0) {
        const QString error = parseDate(text, from);
        to = from;
        return error;
    }
    if (QString error = parseDate(text.left(dots), from); !error.isEmpty())
        return error;
    if (QString error = parseDate(text.mid(dots + 2), to); !error.isEmpty())
        return error;
    if (to < from)
        return QStringLiteral("the rest days %1 end before they begin").arg(quoted(text));
    return {};
}

Parsed parse(QByteArrayView bytes)
{
    if (bytes.size() > maxFileBytes)
        return { QStringLiteral("the file is larger than 1 MiB"), {} };
    QString text;
    int line = 1;
    for (QByteArrayView rest = bytes;; ++line) {
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView piece = end < 0 ? rest : rest.first(end);
        // A fresh decoder for each line, so the message can name the line.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder(piece);
        if (decoder.hasError() || decoded.contains(QChar(0)))
            return { lineError(line, QStringLiteral("not UTF-8 text")), {} };
        text += decoded;
        if (end < 0)
            break;
        text += u'\n';
        rest = rest.sliced(end + 1);
    }
    return parse(QStringView(text));
}

Parsed parse(QStringView text)
{
    if (text.size() > maxFileBytes)
        return { QStringLiteral("the file is larger than 1 MiB"), {} };
    Parsed parsed;
    Table &table = parsed.table;
    int locationLine = 0;
    int zoneLine = 0;
    int firstSunLine = 0;
    int line = 0;
    const auto refuse = [&](const QString &what) {
        return Parsed { lineError(line, what), {} };
    };
    for (QStringView raw : text.split(u'\n')) {
        ++line;
        if (line == 1 && raw.startsWith(QChar(0xfeff)))
            raw = raw.sliced(1);
        QString note;
        if (const qsizetype hash = raw.indexOf(u'#'); hash >= 0) {
            note = raw.sliced(hash + 1).trimmed().toString();
            raw = raw.first(hash);
        }
        const QString body = raw.toString().simplified();
        if (body.isEmpty())
            continue;
        const QList<QStringView> words = QStringView(body).split(u' ');
        const QStringView first = words.first();
        if (first.compare(u"location", Qt::CaseInsensitive) == 0) {
            if (locationLine)
                return refuse(QStringLiteral("a second location line; the first is line %1").arg(locationLine));
            Location location;
            if (QString error = parseLocation(QStringView(body).sliced(first.size()), location);
                !error.isEmpty())
                return refuse(error);
            table.location = location;
            locationLine = line;
            continue;
        }
        if (first.compare(u"zone", Qt::CaseInsensitive) == 0) {
            if (zoneLine)
                return refuse(QStringLiteral("a second zone line; the first is line %1").arg(zoneLine));
            if (QString error = parseZone(QStringView(body).sliced(first.size()), table.zone); !error.isEmpty())
                return refuse(error);
            zoneLine = line;
            continue;
        }
        if (table.entries.size() + table.rests.size() == maxItems)
            return refuse(QStringLiteral("more than %1 entries and rest lines").arg(maxItems));
        if (words.last().compare(u"rest", Qt::CaseInsensitive) == 0) {
            const bool spacedRange = words.size() == 4 && words.at(1) == u"..";
            if (words.size() == 1 || (words.size() > 2 && !spacedRange))
                return refuse(QStringLiteral("rest takes one date or a range FROM..TO, as 2026-12-24..2026-12-26 rest"));
            Rest rest { line, {}, {}, note };
            // "2026-12-24 .. 2026-12-26 rest" is read as if written without blanks.
            QString range;
            for (qsizetype i = 0; i + 1 < words.size(); ++i)
                range += words.at(i);
            if (QString error = parseRest(range, rest.from, rest.to); !error.isEmpty())
                return refuse(error);
            table.rests.append(rest);
            continue;
        }
        if (words.size() < 3)
            return refuse(QStringLiteral("an entry takes days, a time and an action, as Mon-Fri 20:00 show 12"));
        Entry entry { line, {}, {}, {}, note };
        if (QString error = parseDays(words.at(0), entry.days); !error.isEmpty())
            return refuse(error);
        if (QString error = parseTime(words.at(1), entry.time); !error.isEmpty())
            return refuse(error);
        const QStringView action = QStringView(body).sliced(words.at(2).data() - body.data());
        if (QString error = parseAction(action, entry.action); !error.isEmpty())
            return refuse(error);
        if (entry.time.usesSun() && !firstSunLine)
            firstSunLine = line;
        table.entries.append(entry);
    }
    if (firstSunLine && !table.location) {
        line = firstSunLine;
        return refuse(missingLocation());
    }
    return parsed;
}

QString formatDays(const Days &days)
{
    if (days.date.isValid())
        return days.date.toString(Qt::ISODate);
    const quint8 bits = days.weekdays & allDays;
    if (bits == allDays)
        return QStringLiteral("daily");
    if (bits == monToFri)
        return QStringLiteral("weekdays");
    if (bits == satSun)
        return QStringLiteral("weekends");
    const auto has = [bits](int i) { return bits & (1u << ((i + 7) % 7)); };
    QStringList items;
    // Runs of days, each from a day whose day before is not in the set, so
    // that Fri, Sat, Sun, Mon is written as the one range Fri-Mon.
    for (int start = 0; start < 7; ++start) {
        if (!has(start) || has(start - 1))
            continue;
        int length = 1;
        while (length < 7 && has(start + length))
            ++length;
        const QString from = QLatin1StringView(shortNames[start]);
        const QString to = QLatin1StringView(shortNames[(start + length - 1) % 7]);
        if (length == 1)
            items << from;
        else if (length == 2)
            items << from << to;
        else
            items << from + u'-' + to;
    }
    return items.join(u',');
}

QString formatTime(const Time &time)
{
    if (time.kind == Time::Kind::Clock)
        return time.clock.toString(time.clock.second() ? u"HH:mm:ss" : u"HH:mm");
    QString text = time.kind == Time::Kind::Sunrise ? QStringLiteral("sunrise") : QStringLiteral("sunset");
    if (time.offsetMinutes > 0)
        text += u'+' + QString::number(time.offsetMinutes);
    else if (time.offsetMinutes < 0)
        text += QString::number(time.offsetMinutes);
    return text;
}

QString formatAction(const Action &action)
{
    switch (action.kind) {
    case Action::Kind::Show:
        return QStringLiteral("show %1").arg(action.value);
    case Action::Kind::Brightness:
        return QStringLiteral("brightness %1").arg(action.value);
    case Action::Kind::Off:
        break;
    }
    return QStringLiteral("off");
}

QString formatLocation(const Location &location)
{
    const auto number = [](double value) {
        return QString::number(value, 'f', QLocale::FloatingPointShortest);
    };
    return number(location.latitude) + u' ' + number(location.longitude);
}

QString formatRest(QDate from, QDate to)
{
    if (from == to)
        return from.toString(Qt::ISODate);
    return from.toString(Qt::ISODate) + QStringLiteral("..") + to.toString(Qt::ISODate);
}

QString format(const Table &table)
{
    QString text;
    if (table.location)
        text += QStringLiteral("location ") + formatLocation(*table.location) + u'\n';
    if (!table.zone.isEmpty())
        text += QStringLiteral("zone ") + table.zone + u'\n';
    for (const Entry &entry : table.entries) {
        text += withNote(formatDays(entry.days) + u' ' + formatTime(entry.time) + u' '
                             + formatAction(entry.action),
                         entry.note)
            + u'\n';
    }
    for (const Rest &rest : table.rests)
        text += withNote(formatRest(rest.from, rest.to) + QStringLiteral(" rest"), rest.note) + u'\n';
    return text;
}

} // namespace Timetable
