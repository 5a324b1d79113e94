// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timetable/clockset.h"
#include "timetable/occurrences.h"
#include "timetable/sun.h"
#include "timetable/timetable.h"
#include "timetable/timetableclock.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Timetable;

// The timetable file, sun times, and when entries fire: every case a row,
// every instant written in the zone's local time with its UTC offset.
class tst_Timetable : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void sun_data();
    void sun();
    void occurrences_data();
    void occurrences();
    void clockFiresEachOnce();
};

namespace {

const QByteArray exampleFile =
    "# Gallery 3\n"
    "location 52.52 13.405            # latitude, longitude in decimal degrees (north, east positive)\n"
    "Mon-Fri 20:00 show 12\n"
    "Sat,Sun sunset+15 show 3         # 15 minutes after sunset\n"
    "daily 23:00 off\n"
    "daily 07:30:00 brightness 40     # percent of full, mapped as the remote's brightness is\n"
    "2026-12-31 23:59:30 show 100     # once, on that date\n"
    "2026-12-24..2026-12-26 rest      # no entry fires on these days\n";

// "2026-03-29 02:30", "2026-10-25 02:30:00 +01" (the offset picks one pass
// of a repeated hour; without it, the first).
QDateTime instant(const QString &text, const QTimeZone &zone)
{
    static const QRegularExpression shape(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d) (\\d\\d:\\d\\d(?::\\d\\d)?)(?: ([+-]\\d\\d))?$"));
    const auto m = shape.match(text);
    if (!m.hasMatch())
        qFatal("bad instant in a row: %s", qPrintable(text));
    const QDate date = QDate::fromString(m.captured(1), Qt::ISODate);
    const QTime time = QTime::fromString(m.captured(2), m.captured(2).size() == 5 ? "HH:mm" : "HH:mm:ss");
    if (m.hasCaptured(3))
        return QDateTime(date, time, QTimeZone(m.captured(3).toInt() * 3600)).toUTC();
    return wallInstant(date, time, zone);
}

QString local(const QDateTime &at, const QTimeZone &zone)
{
    const QDateTime there = at.toTimeZone(zone);
    const int hours = there.offsetFromUtc() / 3600;
    return there.toString("yyyy-MM-dd HH:mm:ss ") + (hours < 0 ? u'-' : u'+')
        + QString::number(std::abs(hours)).rightJustified(2, u'0');
}

QString describe(const Occurrence &occurrence, const QTimeZone &zone)
{
    return QStringLiteral("%1 at %2").arg(occurrence.entry.line).arg(local(occurrence.at, zone));
}

} // namespace

void tst_Timetable::parse_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");     // empty: read whole
    QTest::addColumn<QString>("formatted"); // as the editor saves it
    QTest::addColumn<QList<int>>("lines");  // of the entries

    QTest::newRow("the example") << exampleFile << QString()
        << "location 52.52 13.405\n"
           "weekdays 20:00 show 12\n"
           "weekends sunset+15 show 3  # 15 minutes after sunset\n"
           "daily 23:00 off\n"
           "daily 07:30 brightness 40  # percent of full, mapped as the remote's brightness is\n"
           "2026-12-31 23:59:30 show 100  # once, on that date\n"
           "2026-12-24..2026-12-26 rest  # no entry fires on these days\n"
        << QList<int> { 3, 4, 5, 6, 7 };
    QTest::newRow("any case, blanks, CR LF, BOM") << QByteArray("\xef\xbb\xbf  DAILY\t7:05   SHOW 1 \r\n\r\nMonday 10:00 OFF#\r\n")
        << QString() << "daily 07:05 show 1\nMon 10:00 off\n" << QList<int> { 1, 3 };
    QTest::newRow("ranges, lists, wrapping")
        << QByteArray("Fri-Mon 12:00 off\nMon,Wed,Sat-Sun 12:00 off\nTue,thu 01:02:03 brightness 0\nSun-Sat 1:00 off\n")
        << QString() << "Fri-Mon 12:00 off\nWed,Sat-Mon 12:00 off\nTue,Thu 01:02:03 brightness 0\ndaily 01:00 off\n"
        << QList<int> { 1, 2, 3, 4 };
    QTest::newRow("sun offsets, rest with blanks")
        << QByteArray("location -33.8688 151.2093\nSun sunrise-720 show 128\nSat sunset+0 off\n2026-12-24 .. 2026-12-26 rest\n2027-01-01 rest\n")
        << QString() << "location -33.8688 151.2093\nSun sunrise-720 show 128\nSat sunset off\n2026-12-24..2026-12-26 rest\n2027-01-01 rest\n"
        << QList<int> { 2, 3 };
    QTest::newRow("a zone of its own") << QByteArray("Zone America/New_York # the gallery's\nlocation 40.7 -74\ndaily 09:00 off\n")
        << QString() << "location 40.7 -74\nzone America/New_York\ndaily 09:00 off\n" << QList<int> { 3 };
    QTest::newRow("only comments") << QByteArray("# nothing yet\n\n   # at all") << QString() << QString() << QList<int>();

    const auto bad = [](const char *name, const QByteArray &file, const QString &error) {
        QTest::newRow(name) << file << error << QString() << QList<int>();
    };
    bad("unknown day", "# x\nMox 20:00 show 1\n",
        "line 2: \"Mox\" is not a day: daily, weekdays, weekends, Mon to Sun, a list Mon,Wed,Fri, a range Mon-Fri or a date YYYY-MM-DD");
    bad("empty list item", "Mon,,Tue 20:00 off", "line 1: \"Mon,,Tue\" is not a day: daily, weekdays, weekends, Mon to Sun, a list Mon,Wed,Fri, a range Mon-Fri or a date YYYY-MM-DD");
    bad("no such date", "2026-02-29 20:00 off", "line 1: \"2026-02-29\" is not a date of the calendar");
    bad("hour 24", "daily 24:00 off", "line 1: \"24:00\" is not a time of day (00:00 to 23:59:59)");
    bad("second 60", "daily 12:00:60 off", "line 1: \"12:00:60\" is not a time of day (00:00 to 23:59:59)");
    bad("not a time", "daily 8pm off",
        "line 1: \"8pm\" is not a time: HH:MM, HH:MM:SS, or sunrise or sunset with an offset in minutes, as sunset+15");
    bad("sun offset too far", "location 1 2\ndaily sunset+721 off", "line 2: the offset in \"sunset+721\" is more than 720 minutes");
    bad("sun without a location", "daily 20:00 off\nweekends sunrise show 1\nlocation 1 2 x",
        "line 3: location takes a latitude and a longitude in decimal degrees, as location 52.52 13.405");
    bad("sun, and no location line", "daily 20:00 off\nweekends sunrise show 1\n",
        "line 2: sunrise and sunset need a location line (location LAT LON)");
    bad("latitude", "location 95 13", "line 1: the latitude \"95\" is not a number from -90 to 90");
    bad("longitude", "location 52 east", "line 1: the longitude \"east\" is not a number from -180 to 180");
    bad("unknown zone", "zone Europe/Atlantis", "line 1: \"Europe/Atlantis\" is not a time zone this computer knows (an IANA name, as Europe/Berlin)");
    bad("two zones", "zone UTC\nzone Europe/Berlin", "line 2: a second zone line; the first is line 1");
    bad("two locations", "location 1 2\n\nlocation 3 4", "line 3: a second location line; the first is line 1");
    bad("show 0", "daily 20:00 show 0", "line 1: \"show 0\": a show is 1 to 128");
    bad("show 129", "daily 20:00 show 129", "line 1: \"show 129\": a show is 1 to 128");
    bad("show without a number", "daily 20:00 show", "line 1: \"show\" has no number: a show is 1 to 128");
    bad("brightness 101", "daily 20:00 brightness 101", "line 1: \"brightness 101\": brightness is 0 to 100 percent");
    bad("fractional brightness", "daily 20:00 brightness 40.5", "line 1: \"brightness 40.5\": brightness is 0 to 100 percent");
    bad("unknown action", "daily 20:00 dance", "line 1: \"dance\" is not an action: show N, brightness P or off");
    bad("words after the action", "daily 20:00 show 3 now", "line 1: \"now\" after the action");
    bad("words after off", "daily 20:00 off now", "line 1: \"now\" after off");
    bad("no action", "daily 20:00", "line 1: an entry takes days, a time and an action, as Mon-Fri 20:00 show 12");
    bad("rest on a weekday", "Mon rest", "line 1: \"Mon\" is not a date YYYY-MM-DD");
    bad("rest alone", "rest", "line 1: rest takes one date or a range FROM..TO, as 2026-12-24..2026-12-26 rest");
    bad("rest at a time", "2026-12-24 10:00 rest", "line 1: rest takes one date or a range FROM..TO, as 2026-12-24..2026-12-26 rest");
    bad("rest backwards", "2026-12-26..2026-12-24 rest", "line 1: the rest days \"2026-12-26..2026-12-24\" end before they begin");
    bad("not UTF-8", "# fine\n\ndaily 20:00 show 1 # caf\xe9\n", "line 3: not UTF-8 text");
    bad("a NUL", QByteArray("daily 20:00 off\n\0 x", 19), "line 2: not UTF-8 text");
    QByteArray many;
    for (int i = 0; i < maxItems; ++i)
        many += i % 2 ? "daily 10:00 off\n" : "2026-01-01 rest\n";
    bad("1000 items are enough", many + "# and a comment\ndaily 10:00 off\n", "line 1002: more than 1000 entries and rest lines");
    bad("larger than 1 MiB", QByteArray(maxFileBytes + 1, '#'), "the file is larger than 1 MiB");
}

void tst_Timetable::parse()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QFETCH(QString, formatted);
    QFETCH(QList<int>, lines);

    const Parsed parsed = Timetable::parse(QByteArrayView(file));
    QCOMPARE(parsed.error, error);
    if (!error.isEmpty()) {
        QCOMPARE(parsed.table, Table());
        return;
    }
    QCOMPARE(format(parsed.table), formatted);
    QList<int> read;
    for (const Entry &entry : parsed.table.entries)
        read << entry.line;
    QCOMPARE(read, lines);

    // What the editor saves reads back as the same table.
    Table again = Timetable::parse(QStringView(formatted)).table;
    QVERIFY(again.entries.size() == parsed.table.entries.size() && again.rests.size() == parsed.table.rests.size());
    for (qsizetype i = 0; i < again.entries.size(); ++i)
        again.entries[i].line = parsed.table.entries.at(i).line;
    for (qsizetype i = 0; i < again.rests.size(); ++i)
        again.rests[i].line = parsed.table.rests.at(i).line;
    QCOMPARE(again, parsed.table);
}

void tst_Timetable::sun_data()
{
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("rise"); // empty: none that day
    QTest::addColumn<QString>("set");
    QTest::addColumn<int>("toleranceS");

    // An ephemeris's local times for the sun's centre at -0.833 degrees.
    const QByteArray berlin = "Europe/Berlin";
    QTest::newRow("Berlin, equinox") << 52.52 << 13.405 << berlin << QDate(2026, 3, 20) << "06:09:15" << "18:19:25" << 60;
    QTest::newRow("Berlin, summer") << 52.52 << 13.405 << berlin << QDate(2026, 6, 21) << "04:43:05" << "21:33:16" << 60;
    QTest::newRow("Berlin, winter") << 52.52 << 13.405 << berlin << QDate(2026, 12, 21) << "08:14:54" << "15:53:56" << 60;
    QTest::newRow("New York") << 40.7128 << -74.006 << QByteArray("America/New_York") << QDate(2026, 6, 21)
                              << "05:25:01" << "20:30:44" << 60;
    // Sunrise there is on the UTC day before.
    QTest::newRow("Sydney") << -33.8688 << 151.2093 << QByteArray("Australia/Sydney") << QDate(2026, 6, 21)
                            << "06:59:57" << "16:53:48" << 60;
    const QByteArray oslo = "Europe/Oslo";
    QTest::newRow("Tromso, autumn") << 69.6492 << 18.9553 << oslo << QDate(2026, 10, 25) << "07:38:02" << "15:17:01" << 180;
    QTest::newRow("Tromso, polar day") << 69.6492 << 18.9553 << oslo << QDate(2026, 6, 21) << "" << "" << 0;
    QTest::newRow("Tromso, polar night") << 69.6492 << 18.9553 << oslo << QDate(2026, 12, 21) << "" << "" << 0;
    // Next to the polar day the sun dips below the horizon for minutes just
    // after midnight, so that day's rise and set are both at that hour.
    QTest::newRow("Tromso, last rise before polar day") << 69.6492 << 18.9553 << oslo << QDate(2026, 5, 18)
                                                        << "00:52:12" << "00:28:05" << 120;
    QTest::newRow("Tromso, first set after polar day") << 69.6492 << 18.9553 << oslo << QDate(2026, 7, 26)
                                                       << "01:05:20" << "00:37:00" << 120;
    // By the pole the sun rises once a year, at any hour, and climbs a minute
    // of arc an hour: the method's few arcseconds are minutes there.
    QTest::newRow("89.9 N, the year's sunrise") << 89.9 << 0.0 << QByteArray("UTC") << QDate(2026, 3, 18)
                                                << "08:39:06" << "" << 600;
}

void tst_Timetable::sun()
{
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(QByteArray, zone);
    QFETCH(QDate, date);
    QFETCH(QString, rise);
    QFETCH(QString, set);
    QFETCH(int, toleranceS);

    const QTimeZone tz(zone);
    QVERIFY(tz.isValid());
    const auto check = [&](Sun::Event event, const QString &expected) {
        const auto at = Sun::event(event, latitude, longitude, date, tz);
        if (expected.isEmpty()) {
            QVERIFY2(!at, qPrintable(at ? local(*at, tz) : QString()));
            return;
        }
        QVERIFY(at);
        const QDateTime want = wallInstant(date, QTime::fromString(expected, "HH:mm:ss"), tz);
        QVERIFY2(std::abs(at->secsTo(want)) <= toleranceS, qPrintable(local(*at, tz) + " for " + expected));
    };
    check(Sun::Event::Rise, rise);
    check(Sun::Event::Set, set);
}

void tst_Timetable::occurrences_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("zone");
    // The run starts at the first ("catch-up" before it to catch up), then
    // looks at the clock at each of the others: "set" before one means the
    // clock was set to it, "zone=NAME" that the system's zone became NAME.
    QTest::addColumn<QStringList>("looks");
    // What fires, "LINE at LOCAL TIME", then what fires next.
    QTest::addColumn<QStringList>("expected");

    const QByteArray berlin = "Europe/Berlin";
    const QByteArray newYork = "America/New_York";
    const QString week = "daily 23:00 off\nMon-Fri 20:00 show 12\n";

    QTest::newRow("weekdays, from a Saturday") << week << berlin << QStringList { "2026-03-07 23:30" }
        << QStringList { "next 1 at 2026-03-08 23:00:00 +01" };
    QTest::newRow("weekdays, on Monday") << week << berlin << QStringList { "2026-03-08 23:30", "2026-03-09 20:00" }
        << QStringList { "2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("a range wrapping the weekend") << "Fri-Mon 09:00 show 1\n" << berlin
        << QStringList { "2026-03-02 10:00", "2026-03-10 10:00" }
        << QStringList { "1 at 2026-03-06 09:00:00 +01", "1 at 2026-03-07 09:00:00 +01", "1 at 2026-03-08 09:00:00 +01",
                         "1 at 2026-03-09 09:00:00 +01", "next 1 at 2026-03-13 09:00:00 +01" };
    QTest::newRow("a list") << "Mon,Wed 09:00 show 1\nweekends 09:00 off\n" << berlin
        << QStringList { "2026-03-02 10:00", "2026-03-08 10:00" }
        << QStringList { "1 at 2026-03-04 09:00:00 +01", "2 at 2026-03-07 09:00:00 +01", "2 at 2026-03-08 09:00:00 +01",
                         "next 1 at 2026-03-09 09:00:00 +01" };
    QTest::newRow("a date, once") << "2026-12-31 23:59:30 show 100\n" << berlin
        << QStringList { "2026-12-30 12:00", "2026-12-31 23:59:29", "2026-12-31 23:59:30", "2027-01-01 00:00" }
        << QStringList { "1 at 2026-12-31 23:59:30 +01" };
    QTest::newRow("a passed date") << "2026-12-31 23:59:30 show 100\n" << berlin << QStringList { "2027-01-01 00:00" }
        << QStringList();
    QTest::newRow("rest days") << "daily 23:00 off\n2026-12-24..2026-12-26 rest\n" << berlin
        << QStringList { "2026-12-23 12:00", "2026-12-28 00:00" }
        << QStringList { "1 at 2026-12-23 23:00:00 +01", "1 at 2026-12-27 23:00:00 +01", "next 1 at 2026-12-28 23:00:00 +01" };
    QTest::newRow("next after rest days") << "daily 23:00 off\n2026-12-24..2026-12-26 rest\n2026-12-27 rest\n" << berlin
        << QStringList { "2026-12-24 00:00" } << QStringList { "next 1 at 2026-12-28 23:00:00 +01" };

    // The spring change skips 02:00 to 03:00; the autumn change repeats
    // 02:00 to 03:00 (Berlin) and 01:00 to 02:00 (New York).
    QTest::newRow("Berlin, spring: next is 03:00") << "daily 02:30 show 5\n" << berlin << QStringList { "2026-03-29 00:00" }
        << QStringList { "next 1 at 2026-03-29 03:00:00 +02" };
    QTest::newRow("Berlin, spring: fires at 03:00") << "daily 02:30 show 5\n" << berlin
        << QStringList { "2026-03-28 12:00", "2026-03-29 03:00", "2026-03-29 12:00" }
        << QStringList { "1 at 2026-03-29 03:00:00 +02", "next 1 at 2026-03-30 02:30:00 +02" };
    QTest::newRow("Berlin, autumn: first pass only") << "daily 02:30 show 5\n" << berlin
        << QStringList { "2026-10-25 02:00 +02", "2026-10-25 02:30 +02", "2026-10-25 02:30 +01", "2026-10-25 12:00" }
        << QStringList { "1 at 2026-10-25 02:30:00 +02", "next 1 at 2026-10-26 02:30:00 +01" };
    QTest::newRow("Berlin, autumn: started in the repeat") << "daily 02:30 show 5\n" << berlin
        << QStringList { "2026-10-25 02:10 +01", "2026-10-25 12:00" } << QStringList { "next 1 at 2026-10-26 02:30:00 +01" };
    QTest::newRow("New York, spring") << "daily 02:15 show 5\ndaily 03:15 off\n" << newYork
        << QStringList { "2026-03-07 12:00", "2026-03-08 12:00" }
        << QStringList { "1 at 2026-03-08 03:00:00 -04", "2 at 2026-03-08 03:15:00 -04", "next 1 at 2026-03-09 02:15:00 -04" };
    QTest::newRow("New York, autumn") << "daily 01:30 show 5\n" << newYork
        << QStringList { "2026-10-31 12:00", "2026-11-01 01:30 -05", "2026-11-01 12:00" }
        << QStringList { "1 at 2026-11-01 01:30:00 -04", "next 1 at 2026-11-02 01:30:00 -05" };

    const QString sample = "location 52.52 13.405\nweekdays 20:00 show 12\nweekends sunset+15 show 3\n"
                           "daily 23:00 off\ndaily 07:30 brightness 40\n";
    QTest::newRow("catch-up: the show and the brightness") << sample << berlin << QStringList { "catch-up 2026-03-09 21:00" }
        << QStringList { "catch-up 5 at 2026-03-09 07:30:00 +01", "catch-up 2 at 2026-03-09 20:00:00 +01",
                         "next 4 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("catch-up: off and the brightness") << sample << berlin << QStringList { "catch-up 2026-03-10 08:00" }
        << QStringList { "catch-up 4 at 2026-03-09 23:00:00 +01", "catch-up 5 at 2026-03-10 07:30:00 +01",
                         "next 2 at 2026-03-10 20:00:00 +01" };
    QTest::newRow("catch-up across midnight") << week << berlin << QStringList { "catch-up 2026-03-10 00:30" }
        << QStringList { "catch-up 1 at 2026-03-09 23:00:00 +01", "next 2 at 2026-03-10 20:00:00 +01" };
    QTest::newRow("catch-up across rest days") << "Mon-Fri 20:00 show 12\n2026-12-21..2026-12-23 rest\n" << berlin
        << QStringList { "catch-up 2026-12-24 08:00" }
        << QStringList { "catch-up 1 at 2026-12-18 20:00:00 +01", "next 1 at 2026-12-24 20:00:00 +01" };
    QTest::newRow("catch-up, a week back at most") << "2026-03-01 20:00 show 1\n2026-03-02 20:00 show 2\n" << berlin
        << QStringList { "catch-up 2026-03-09 19:00" } << QStringList { "catch-up 2 at 2026-03-02 20:00:00 +01" };
    QTest::newRow("catch-up, nothing within a week") << "2026-03-01 20:00 show 1\n" << berlin
        << QStringList { "catch-up 2026-03-09 19:00" } << QStringList();
    QTest::newRow("catch-up at the instant, not again") << week << berlin
        << QStringList { "catch-up 2026-03-09 20:00", "2026-03-09 20:00:30" }
        << QStringList { "catch-up 2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-09 23:00:00 +01" };

    QTest::newRow("clock set forward: the latest only") << week << berlin
        << QStringList { "2026-03-09 19:00", "set 2026-03-10 21:00" }
        << QStringList { "2 at 2026-03-10 20:00:00 +01", "next 1 at 2026-03-10 23:00:00 +01" };
    QTest::newRow("clock set forward over nothing") << week << berlin
        << QStringList { "2026-03-09 20:30", "set 2026-03-09 22:30" } << QStringList { "next 1 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("clock set back: nothing again") << week << berlin
        << QStringList { "2026-03-09 19:00", "2026-03-09 20:00", "set 2026-03-09 19:30", "2026-03-09 20:30" }
        << QStringList { "2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("clock set forward: the latest of each") << sample << berlin
        << QStringList { "2026-03-09 06:00", "set 2026-03-10 21:00" }
        << QStringList { "5 at 2026-03-10 07:30:00 +01", "2 at 2026-03-10 20:00:00 +01", "next 4 at 2026-03-10 23:00:00 +01" };
    QTest::newRow("clock set forward, a week back at most") << "2026-03-01 20:00 show 1\n2026-03-03 20:00 show 2\n" << berlin
        << QStringList { "2026-03-01 19:00", "set 2026-03-09 19:00" } << QStringList { "2 at 2026-03-03 20:00:00 +01" };
    QTest::newRow("read anew, then set back: nothing again") << week << berlin
        << QStringList { "2026-03-09 19:00", "2026-03-09 20:00", "edited 2026-03-09 20:10", "set 2026-03-09 19:30",
                         "2026-03-09 20:30" }
        << QStringList { "2 at 2026-03-09 20:00:00 +01", "next 2 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("clock set back a year") << week << berlin
        << QStringList { "2027-03-09 19:00", "set 2026-03-09 19:30", "2026-03-09 20:00" }
        << QStringList { "2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("one instant, two entries") << "daily 20:00 brightness 40\ndaily 20:00 show 12\n" << berlin
        << QStringList { "2026-03-09 19:00", "2026-03-09 20:00" }
        << QStringList { "1 at 2026-03-09 20:00:00 +01", "2 at 2026-03-09 20:00:00 +01",
                         "next 1 at 2026-03-10 20:00:00 +01", "next 2 at 2026-03-10 20:00:00 +01" };
    QTest::newRow("one instant, the later line catches up") << "daily 20:00 show 4\ndaily 20:00 show 12\n" << berlin
        << QStringList { "catch-up 2026-03-09 21:00" }
        << QStringList { "catch-up 2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-10 20:00:00 +01", "next 2 at 2026-03-10 20:00:00 +01" };
    // Moving east the wall clock jumps forward over 20:00; moving west it
    // goes back over an entry that has fired.
    QTest::newRow("zone moves east") << week << QByteArray("Europe/London")
        << QStringList { "2026-03-09 19:30", "zone=Europe/Berlin 2026-03-09 20:30" }
        << QStringList { "2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-09 23:00:00 +01" };
    QTest::newRow("zone moves west") << week << berlin
        << QStringList { "2026-03-09 19:30", "2026-03-09 20:30", "zone=Europe/London 2026-03-09 19:45", "2026-03-09 20:30" }
        << QStringList { "2 at 2026-03-09 20:00:00 +01", "next 1 at 2026-03-09 23:00:00 +00" };

    const QString tromso = "location 69.6492 18.9553\ndaily sunrise show 1\ndaily sunset-30 off\n";
    QTest::newRow("polar day") << tromso << QByteArray("Europe/Oslo")
        << QStringList { "2026-06-21 00:00", "2026-06-22 00:00" } << QStringList { "next 3 at 2026-07-26 00:07:32 +02" };
    QTest::newRow("polar night") << tromso << QByteArray("Europe/Oslo")
        << QStringList { "2026-12-21 00:00", "2026-12-22 00:00" } << QStringList { "next 2 at 2027-01-15 11:34:55 +01" };
    QTest::newRow("sun, both") << tromso << QByteArray("Europe/Oslo")
        << QStringList { "2026-10-25 00:00", "2026-10-26 00:00" }
        << QStringList { "2 at 2026-10-25 07:37:57 +01", "3 at 2026-10-25 14:47:01 +01", "next 2 at 2026-10-26 07:42:28 +01" };
}

void tst_Timetable::occurrences()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, zone);
    QFETCH(QStringList, looks);
    QFETCH(QStringList, expected);

    const Parsed parsed = Timetable::parse(QStringView(file));
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    TimetableRun run { parsed.table, QTimeZone(zone), {}, {}, {} };
    QVERIFY(run.zone.isValid());

    QStringList got;
    QString start = looks.takeFirst();
    const bool catchUp = start.startsWith("catch-up ");
    if (catchUp)
        start.remove(0, 9);
    for (const Occurrence &caught : run.begin(instant(start, run.zone), catchUp))
        got << "catch-up " + describe(caught, run.zone);
    for (QString look : looks) {
        QList<Occurrence> fired;
        if (look.startsWith("edited ")) {
            // Read anew with a line put first: what fired stays fired.
            run.table = Timetable::parse(QStringView(QString("# edited\n" + file))).table;
            fired = run.begin(instant(look.mid(7), run.zone), false);
        } else if (look.startsWith("zone=")) {
            const QTimeZone moved(look.mid(5, look.indexOf(u' ') - 5).toUtf8());
            QVERIFY(moved.isValid());
            fired = run.rezone(moved, instant(look.mid(look.indexOf(u' ') + 1), moved));
        } else {
            const bool set = look.startsWith("set ");
            fired = run.look(instant(set ? look.mid(4) : look, run.zone), set);
        }
        for (const Occurrence &occurrence : fired)
            got << describe(occurrence, run.zone);
    }
    for (const Occurrence &occurrence : run.upcoming())
        got << "next " + describe(occurrence, run.zone);
    QCOMPARE(got, expected);
}

// The QObject on an injected clock: the catch-up at start, one fire at the
// instant and none again, the timer never longer than a minute. The computer
// is left on UTC; the file's own zone holds.
void tst_Timetable::clockFiresEachOnce()
{
    const QTimeZone berlin("Europe/Berlin");
    QDateTime now = instant("2026-03-09 19:59:58", berlin);
    TimetableClock clock;
    clock.setClock([&now] { return now; }, [] { return QTimeZone::utc(); });
    QSignalSpy fired(&clock, &TimetableClock::fire);

    clock.start(Timetable::parse(QByteArrayView("daily 23:00 off\nMon-Fri 20:00 show 12\nzone Europe/Berlin\n")).table,
                true);
    QCOMPARE(clock.zone(), berlin);
    QCOMPARE(fired.size(), 1);
    QCOMPARE(fired.takeFirst().at(1).toBool(), true);
    QCOMPARE(clock.upcoming().size(), 1);
    QCOMPARE(clock.upcoming().first().entry.line, 2);
    QVERIFY(clock.remainingMs() > 0 && clock.remainingMs() <= 2000);

    now = now.addSecs(2);
    clock.check();
    clock.check();
    QCOMPARE(fired.size(), 1);
    QCOMPARE(fired.first().at(0).value<Occurrence>().entry.action, (Action { Action::Kind::Show, 12 }));
    QCOMPARE(fired.first().at(1).toBool(), false);
    QCOMPARE(clock.upcoming().first().entry.line, 1);
    QVERIFY(clock.remainingMs() <= TimetableClock::maxWaitMs);

    // Put in force again, as on saving: what has passed stays passed.
    clock.start(clock.table(), false);
    clock.check();
    QCOMPARE(fired.size(), 1);
    clock.stop();
    QCOMPARE(clock.remainingMs(), -1);

    QVERIFY(ClockSetNotice().listening());
}

QTEST_GUILESS_MAIN(tst_Timetable)
#include "tst_timetable.moc"
