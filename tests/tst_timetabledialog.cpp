// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/timetabledialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <memory>

using namespace Timetable;

// The timetable's editor on its own: what it shows, what OK takes and refuses.
class tst_TimetableDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void badCellNamedOnOk_data();
    void badCellNamedOnOk();
    void nextOccurrence_data();
    void nextOccurrence();
    void rowsMoveAddAndRemove();

private:
    template <typename T>
    T *child(const char *name) const
    {
        T *widget = mDialog->findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no %s", name);
        return widget;
    }
    QTableWidget *entries() const { return child<QTableWidget>("entries"); }
    QString cell(int row, int column) const
    {
        const QTableWidgetItem *item = entries()->item(row, column);
        return item ? item->text() : QString();
    }
    void open(const QString &file, const QString &fileName = {});
    void clickOk() { mDialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); }

    std::unique_ptr<TimetableDialog> mDialog;
};

// Columns of the entries' table.
namespace Col {
constexpr int days = 0, time = 1, action = 2, note = 3, next = 4;
}

void tst_TimetableDialog::init()
{
    mDialog = std::make_unique<TimetableDialog>(nullptr);
    mDialog->setZone(QTimeZone("Europe/Berlin"));
    mDialog->setNow([] { return QDateTime(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC); });
}

void tst_TimetableDialog::cleanup()
{
    mDialog.reset();
}

void tst_TimetableDialog::open(const QString &file, const QString &fileName)
{
    const Parsed parsed = parse(QStringView(file));
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    mDialog->setTimetable(parsed.table, fileName);
    mDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(mDialog.get()));
}

void tst_TimetableDialog::roundTrip_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<bool>("switches");

    QTest::newRow("full") << QStringLiteral(
        "location 52.52 13.405\n"
        "weekdays 20:00 show 12  # Vernissage\n"
        "weekends sunset+15 show 3\n"
        "Fri-Mon 23:00 off\n"
        "daily 07:30:05 brightness 40  # morning # bright\n"
        "2026-12-31 23:59:30 show 100\n"
        "2026-12-24..2026-12-26 rest  # Christmas\n"
        "2027-01-01 rest\n")
                          << QStringLiteral("/srv/gallery/plan.txt")
                          << QStringLiteral("File: /srv/gallery/plan.txt") << true;
    QTest::newRow("empty, never saved") << QString() << QString() << QStringLiteral("Not saved yet")
                                        << false;
}

void tst_TimetableDialog::roundTrip()
{
    QFETCH(QString, file);
    QFETCH(QString, fileName);
    QFETCH(QString, shownName);
    QFETCH(bool, switches);

    mDialog->setRunning(switches);
    mDialog->setLoadNamesWithoutAsking(!switches);
    open(file, fileName);
    QCOMPARE(mDialog->windowTitle(), QStringLiteral("Timetable"));
    QCOMPARE(child<QLabel>("fileName")->text(), shownName);
    clickOk();
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    QCOMPARE(mDialog->timetable(), parse(QStringView(file)).table);
    QCOMPARE(format(mDialog->timetable()), file);
    QCOMPARE(mDialog->running(), switches);
    QCOMPARE(mDialog->loadNamesWithoutAsking(), !switches);
}

void tst_TimetableDialog::badCellNamedOnOk_data()
{
    // What is typed where: a cell of "entries" or "rests" at (row, column),
    // or "latitude", "longitude" or both ("location").
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("selectedEntry"); // the entry row selected, or -1

    QTest::newRow("days") << "entries" << 1 << Col::days << "Mon-Fry"
                          << "Row 2: \"Mon-Fry\" is not a day: daily, weekdays, weekends, Mon to Sun,"
                             " a list Mon,Wed,Fri, a range Mon-Fri or a date YYYY-MM-DD"
                          << 1;
    QTest::newRow("time") << "entries" << 0 << Col::time << "24:00"
                          << "Row 1: \"24:00\" is not a time of day (00:00 to 23:59:59)" << 0;
    QTest::newRow("action") << "entries" << 1 << Col::action << "show 129"
                            << "Row 2: \"show 129\": a show is 1 to 128" << 1;
    QTest::newRow("rest") << "rests" << 0 << 0 << "2026-12-26..2026-12-24"
                          << "Rest days, row 1: the rest days \"2026-12-26..2026-12-24\" end before"
                             " they begin"
                          << -1;
    QTest::newRow("latitude") << "latitude" << 0 << 0 << "95"
                              << "Location: the latitude \"95\" is not a number from -90 to 90" << -1;
    QTest::newRow("longitude with a blank") << "longitude" << 0 << 0 << "13 405"
                                            << "Location: the longitude \"13 405\" is not a number from"
                                               " -180 to 180"
                                            << -1;
    QTest::newRow("half a location") << "longitude" << 0 << 0 << ""
                                     << "Location: give both the latitude and the longitude, or neither"
                                     << -1;
    QTest::newRow("sun without location")
        << "location" << 1 << Col::time << ""
        << "Row 2: sunrise and sunset need a location; fill in the latitude and the longitude" << 1;
}

void tst_TimetableDialog::badCellNamedOnOk()
{
    QFETCH(QString, widget);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, error);
    QFETCH(int, selectedEntry);

    const QString file = QStringLiteral("location 52.52 13.405\ndaily 20:00 off\nMon sunset show 3\n"
                                        "2026-12-24 rest\n");
    open(file);
    QList<std::pair<QLineEdit *, QString>> fields;
    if (widget == u"location" || widget == u"latitude")
        fields.append(std::pair(child<QLineEdit>("latitude"), QString()));
    if (widget == u"location" || widget == u"longitude")
        fields.append(std::pair(child<QLineEdit>("longitude"), QString()));
    QTableWidgetItem *item = nullptr;
    if (auto *table = mDialog->findChild<QTableWidget *>(widget))
        item = table->item(row, column);
    const QString itemWas = item ? item->text() : QString();
    if (item)
        item->setText(text);
    for (auto &[field, was] : fields) {
        was = field->text();
        field->setText(text);
    }
    clickOk();

    QVERIFY(mDialog->isVisible());
    QCOMPARE(mDialog->result(), int(QDialog::Rejected));
    auto *label = child<QLabel>("error");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), error);
    if (item) {
        QCOMPARE(item->tableWidget()->currentRow(), row);
        QCOMPARE(item->tableWidget()->currentColumn(), column);
    }
    if (selectedEntry >= 0)
        QCOMPARE(entries()->currentRow(), selectedEntry);

    // Put right, the same OK takes it, with nothing else changed.
    if (item)
        item->setText(itemWas);
    for (const auto &[field, was] : fields)
        field->setText(was);
    clickOk();
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    QVERIFY(!mDialog->isVisible());
    QCOMPARE(format(mDialog->timetable()), file);
}

void tst_TimetableDialog::nextOccurrence_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("edit"); // typed into the first row's time, if any
    QTest::addColumn<QString>("shown");

    const QDateTime december(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
    QTest::newRow("weekly") << "Sat 16:17 show 3" << "Europe/Berlin" << december << ""
                            << "Sat 12 Dec 16:17";
    // The same instant is after the entry's time in Berlin, before it in New York.
    const QDateTime saturday(QDate(2026, 12, 12), QTime(15, 30), Qt::UTC);
    QTest::newRow("past this week's") << "Sat 16:17 show 3" << "Europe/Berlin" << saturday << ""
                                      << "Sat 19 Dec 16:17";
    QTest::newRow("other zone") << "Sat 16:17 show 3" << "America/New_York" << saturday << ""
                                << "Sat 12 Dec 16:17";
    QTest::newRow("seconds, next year") << "2027-01-02 07:30:05 off" << "Europe/Berlin" << december
                                        << "" << "Sat 2 Jan 2027 07:30:05";
    QTest::newRow("skipped by daylight saving")
        << "2026-03-29 02:30 off" << "Europe/Berlin"
        << QDateTime(QDate(2026, 3, 28), QTime(12, 0), Qt::UTC) << "" << "Sun 29 Mar 03:00";
    QTest::newRow("rest day skipped") << "daily 20:00 off\n2026-12-10..2026-12-12 rest" << "Europe/Berlin"
                                      << december << "" << "Sun 13 Dec 20:00";
    QTest::newRow("polar night")
        << "location 69.6492 18.9553\n2026-12-21 sunrise show 1" << "Europe/Oslo" << december << ""
        << "the sun does not rise there that day";
    QTest::newRow("past date") << "2026-12-01 10:00 off" << "Europe/Berlin" << december << ""
                               << "the date has passed";
    QTest::newRow("edited to the sun, no location")
        << "daily 20:00 off" << "Europe/Berlin" << december << "sunset"
        << "sunrise and sunset need a location; fill in the latitude and the longitude";
    QTest::newRow("edited to a bad time") << "daily 20:00 off" << "Europe/Berlin" << december << "8pm"
                                          << "\"8pm\" is not a time: HH:MM, HH:MM:SS, or sunrise or"
                                             " sunset with an offset in minutes, as sunset+15";
}

void tst_TimetableDialog::nextOccurrence()
{
    QFETCH(QString, file);
    QFETCH(QString, zone);
    QFETCH(QDateTime, now);
    QFETCH(QString, edit);
    QFETCH(QString, shown);

    mDialog->setZone(QTimeZone(zone.toLatin1()));
    mDialog->setNow([now] { return now; });
    open(file);
    if (!edit.isEmpty())
        entries()->item(0, Col::time)->setText(edit);
    QCOMPARE(cell(0, Col::next), shown);
    QVERIFY(!(entries()->item(0, Col::next)->flags() & Qt::ItemIsEditable));
    // On the screen at the dialog's own size, not scrolled off to the right.
    const QRect shownAt = entries()->visualItemRect(entries()->item(0, Col::next));
    QVERIFY(entries()->viewport()->rect().contains(shownAt.topLeft() + QPoint(40, 2)));
}

void tst_TimetableDialog::rowsMoveAddAndRemove()
{
    open(QStringLiteral("daily 20:00 show 1  # a\n"
                        "daily 21:00 show 2  # b\n"
                        "daily 22:00 show 3  # c\n"));
    auto *down = child<QPushButton>("moveDown");
    auto *up = child<QPushButton>("moveUp");
    const auto notes = [this] {
        QString text;
        for (int row = 0; row < entries()->rowCount(); ++row)
            text += cell(row, Col::note);
        return text;
    };

    entries()->setCurrentCell(0, Col::action);
    QVERIFY(!up->isEnabled());
    down->click();
    down->click();
    QCOMPARE(notes(), QStringLiteral("bca"));
    QVERIFY(!down->isEnabled());
    QCOMPARE(entries()->currentRow(), 2);
    // The next occurrence travels with its entry.
    QCOMPARE(cell(2, Col::next), QStringLiteral("Thu 10 Dec 20:00"));
    up->click();
    QCOMPARE(notes(), QStringLiteral("bac"));

    // Added after the current row; a row left blank is no entry.
    child<QPushButton>("addEntry")->click();
    QCOMPARE(entries()->rowCount(), 4);
    QCOMPARE(entries()->currentRow(), 2);
    entries()->setCurrentCell(0, Col::days);
    child<QPushButton>("removeEntry")->click();
    QCOMPARE(notes(), QStringLiteral("ac"));

    clickOk();
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    QCOMPARE(format(mDialog->timetable()),
             QStringLiteral("daily 20:00 show 1  # a\ndaily 22:00 show 3  # c\n"));
    QCOMPARE(mDialog->timetable().entries.at(1).line, 2);
}

QTEST_MAIN(tst_TimetableDialog)
#include "tst_timetabledialog.moc"
