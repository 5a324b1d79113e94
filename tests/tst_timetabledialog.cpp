// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/dialogs/timetabledialog.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include <sys/stat.h>

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
    void saveKeepsTheFile_data();
    void saveKeepsTheFile();
    void neverLosesAnything_data();
    void neverLosesAnything();
    void otherFiles_data();
    void otherFiles();
    void nextSevenDays_data();
    void nextSevenDays();
    void sendNowTakesTheSelectedEntry();

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
    // Shows `file` as the timetable's file, written to the test's folder
    // first; unsaved, as a plan never saved.
    void open(const QString &file, bool saved = true);
    QByteArray onDisk() const;
    // One step of an operator's editing: "R,C=text" types into the entries'
    // cell, "-R" removes row R, "+R:days|time|action|note" adds a row after
    // row R, "down R" moves row R down, "zone=NAME" types the zone.
    void edit(const QString &step);
    void clickOk() { mDialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); }

    std::unique_ptr<QTemporaryDir> mDir;
    QString mFile; // the timetable's file
    std::unique_ptr<ModalAnswerer> mAnswerer;
    std::unique_ptr<TimetableDialog> mDialog;
};

// Columns of the entries' table.
namespace Col {
constexpr int days = 0, time = 1, action = 2, note = 3, next = 4;
}

void tst_TimetableDialog::init()
{
    mDir = std::make_unique<QTemporaryDir>();
    mFile = mDir->filePath(QStringLiteral("plan.txt"));
    mAnswerer = std::make_unique<ModalAnswerer>();
    mDialog = std::make_unique<TimetableDialog>(nullptr);
    mDialog->setZone(QTimeZone("Europe/Berlin"));
    mDialog->setNow([] { return QDateTime(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC); });
}

void tst_TimetableDialog::cleanup()
{
    mDialog.reset();
    mAnswerer.reset();
    mDir.reset();
}

void tst_TimetableDialog::open(const QString &file, bool saved)
{
    const Parsed parsed = parse(QStringView(file));
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    if (saved) {
        QFile out(mFile);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.toUtf8());
        // Long ago, so that a save shows.
        QVERIFY(out.flush());
        QVERIFY(out.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC), QFileDevice::FileModificationTime));
        out.close();
        mDialog->setTimetable(parsed.table, mFile, file.toUtf8());
    } else {
        mDialog->setTimetable(parsed.table, QString());
    }
    mDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(mDialog.get()));
}

QByteArray tst_TimetableDialog::onDisk() const
{
    QFile file(mFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_TimetableDialog::edit(const QString &step)
{
    QTableWidget *table = entries();
    if (step.startsWith(u"zone=")) {
        child<QComboBox>("zone")->setEditText(step.mid(5));
    } else if (step.startsWith(u"down ")) {
        table->setCurrentCell(step.mid(5).toInt(), Col::days);
        child<QPushButton>("moveDown")->click();
    } else if (step.startsWith(u'-')) {
        table->setCurrentCell(step.mid(1).toInt(), Col::days);
        child<QPushButton>("removeEntry")->click();
    } else if (step.startsWith(u'+')) {
        const QStringList cells = step.section(u':', 1).split(u'|');
        table->setCurrentCell(step.section(u':', 0, 0).mid(1).toInt(), Col::days);
        child<QPushButton>("addEntry")->click();
        const int row = table->currentRow();
        // Add opens the days' cell for typing; Return takes what was typed.
        QLineEdit *editor = nullptr;
        for (QLineEdit *field : table->viewport()->findChildren<QLineEdit *>()) {
            if (field->isVisible())
                editor = field;
        }
        QVERIFY(editor);
        editor->setText(cells.at(0));
        QTest::keyClick(editor, Qt::Key_Return);
        // The cell takes it once the event loop has run.
        QTRY_COMPARE(table->item(row, Col::days)->text(), cells.at(0));
        for (int column = 1; column < cells.size(); ++column)
            table->item(row, column)->setText(cells.at(column));
    } else {
        const int row = step.section(u',', 0, 0).toInt();
        const int column = step.section(u',', 1).section(u'=', 0, 0).toInt();
        table->item(row, column)->setText(step.section(u'=', 1));
    }
}

void tst_TimetableDialog::roundTrip_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("saved");
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
                          << true << true;
    QTest::newRow("empty, never saved") << QString() << false << false;
}

void tst_TimetableDialog::roundTrip()
{
    QFETCH(QString, file);
    QFETCH(bool, saved);
    QFETCH(bool, switches);

    mDialog->setRunning(!switches);
    mDialog->setLoadNamesWithoutAsking(switches);
    mDialog->setCatchUp(switches ? CatchUp::Off : CatchUp::Always);
    open(file, saved);
    QCOMPARE(mDialog->windowTitle(), QStringLiteral("Timetable"));
    QCOMPARE(child<QLabel>("fileName")->text(),
             saved ? QStringLiteral("File: ") + QDir::toNativeSeparators(mFile) : QStringLiteral("Not saved yet"));
    // The settings are not the file's: switched, they leave it as it was.
    mDialog->setRunning(switches);
    mDialog->setLoadNamesWithoutAsking(!switches);
    child<QComboBox>("catchUp")->setCurrentIndex(switches ? 1 : 2);
    clickOk();
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    QCOMPARE(mDialog->timetable(), parse(QStringView(file)).table);
    QCOMPARE(format(mDialog->timetable()), file);
    QCOMPARE(mDialog->running(), switches);
    QCOMPARE(mDialog->loadNamesWithoutAsking(), !switches);
    QCOMPARE(mDialog->catchUp(), switches ? CatchUp::Always : CatchUp::Off);
    QCOMPARE(mDialog->fileName(), saved ? mFile : QString());
    QCOMPARE(QFileInfo(mFile).lastModified(), saved ? QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC) : QDateTime());
    QVERIFY(mAnswerer->seen.isEmpty());
}

void tst_TimetableDialog::badCellNamedOnOk_data()
{
    // What is typed where: a cell of "entries" or "rests" at (row, column),
    // or "latitude", "longitude" or both ("location"), or "zone". A row is
    // named by its line in the file, as its header is.
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("selectedEntry"); // the entry row selected, or -1

    QTest::newRow("days") << "entries" << 1 << Col::days << "Mon-Fry"
                          << "Line 3: \"Mon-Fry\" is not a day: daily, weekdays, weekends, Mon to Sun,"
                             " a list Mon,Wed,Fri, a range Mon-Fri or a date YYYY-MM-DD"
                          << 1;
    QTest::newRow("time") << "entries" << 0 << Col::time << "24:00"
                          << "Line 2: \"24:00\" is not a time of day (00:00 to 23:59:59)" << 0;
    QTest::newRow("action") << "entries" << 1 << Col::action << "show 129"
                            << "Line 3: \"show 129\": a show is 1 to 128" << 1;
    QTest::newRow("rest") << "rests" << 0 << 0 << "2026-12-26..2026-12-24"
                          << "Rest days, line 4: the rest days \"2026-12-26..2026-12-24\" end before"
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
        << "Line 3: sunrise and sunset need a location; fill in the latitude and the longitude" << 1;
    QTest::newRow("zone") << "zone" << 0 << 0 << "Europe/Berln"
                          << "Zone: \"Europe/Berln\" is not a time zone this computer knows (an IANA name,"
                             " as Europe/Berlin)"
                          << -1;
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
    auto *zone = child<QComboBox>("zone");
    if (widget == u"zone")
        zone->setEditText(text);
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
    // The field to put right is on the tab shown.
    QWidget *wrong = item ? item->tableWidget()
        : widget == u"zone" ? static_cast<QWidget *>(zone)
        : selectedEntry >= 0 ? static_cast<QWidget *>(entries())
                             : fields.last().first;
    QVERIFY(wrong->isVisible());

    // Put right, the same OK takes it, with nothing else changed.
    if (item)
        item->setText(itemWas);
    for (const auto &[field, was] : fields)
        field->setText(was);
    zone->setEditText(QString());
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
    QTest::addColumn<QString>("warning"); // under the tabs, if any

    const QDateTime december(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
    QTest::newRow("weekly") << "Sat 16:17 show 3" << "Europe/Berlin" << december << ""
                            << "Sat 12 Dec 16:17" << "";
    // The same instant is after the entry's time in Berlin, before it in New York.
    const QDateTime saturday(QDate(2026, 12, 12), QTime(15, 30), Qt::UTC);
    QTest::newRow("past this week's") << "Sat 16:17 show 3" << "Europe/Berlin" << saturday << ""
                                      << "Sat 19 Dec 16:17" << "";
    QTest::newRow("other zone") << "Sat 16:17 show 3" << "America/New_York" << saturday << ""
                                << "Sat 12 Dec 16:17" << "";
    QTest::newRow("seconds, next year") << "2027-01-02 07:30:05 off" << "Europe/Berlin" << december
                                        << "" << "Sat 2 Jan 2027 07:30:05" << "";
    QTest::newRow("skipped by daylight saving")
        << "2026-03-29 02:30 off" << "Europe/Berlin"
        << QDateTime(QDate(2026, 3, 28), QTime(12, 0), Qt::UTC) << "" << "Sun 29 Mar 03:00" << "";
    QTest::newRow("rest day skipped") << "daily 20:00 off\n2026-12-10..2026-12-12 rest" << "Europe/Berlin"
                                      << december << "" << "Sun 13 Dec 20:00" << "";
    QTest::newRow("polar night")
        << "location 69.6492 18.9553\n2026-12-21 sunrise show 1" << "Europe/Oslo" << december << ""
        << "the sun does not rise there that day" << "";
    QTest::newRow("past date") << "2026-12-01 10:00 off" << "Europe/Berlin" << december << ""
                               << "the date has passed" << "";
    QTest::newRow("edited to the sun, no location")
        << "daily 20:00 off" << "Europe/Berlin" << december << "sunset"
        << "sunrise and sunset need a location; fill in the latitude and the longitude" << "";
    QTest::newRow("edited to a bad time") << "daily 20:00 off" << "Europe/Berlin" << december << "8pm"
                                          << "\"8pm\" is not a time: HH:MM, HH:MM:SS, or sunrise or"
                                             " sunset with an offset in minutes, as sunset+15" << "";
    // The file's own zone, not the computer's (Berlin here), and a location
    // that disagrees with it.
    QTest::newRow("the file's zone") << "zone America/New_York\nSat 16:17 show 3" << "Europe/Berlin" << saturday
                                     << "" << "Sat 12 Dec 16:17" << "";
    QTest::newRow("a location far from the zone")
        << "location 52.52 13.405\nzone America/New_York\nSat sunset show 3" << "Europe/Berlin" << december << ""
        << "Sat 12 Dec 09:52"
        << "Solar noon at the location is 05:59 in America/New_York: the plan's zone and the location probably"
           " disagree.";
}

void tst_TimetableDialog::nextOccurrence()
{
    QFETCH(QString, file);
    QFETCH(QString, zone);
    QFETCH(QDateTime, now);
    QFETCH(QString, edit);
    QFETCH(QString, shown);
    QFETCH(QString, warning);

    mDialog->setZone(QTimeZone(zone.toLatin1()));
    mDialog->setNow([now] { return now; });
    open(file);
    if (!edit.isEmpty())
        entries()->item(0, Col::time)->setText(edit);
    QCOMPARE(cell(0, Col::next), shown);
    QVERIFY(!(entries()->item(0, Col::next)->flags() & Qt::ItemIsEditable));
    QCOMPARE(child<QLabel>("noonWarning")->isVisible() ? child<QLabel>("noonWarning")->text() : QString(), warning);
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
    // The rows' headers are their lines in the file, which go with them.
    const auto lines = [this] {
        QStringList labels;
        for (int row = 0; row < entries()->rowCount(); ++row)
            labels << entries()->model()->headerData(row, Qt::Vertical).toString();
        return labels.join(u',');
    };

    entries()->setCurrentCell(0, Col::action);
    QVERIFY(!up->isEnabled());
    down->click();
    down->click();
    QCOMPARE(notes(), QStringLiteral("bca"));
    QCOMPARE(lines(), QStringLiteral("2,3,1"));
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
    QCOMPARE(lines(), QStringLiteral("2,1,new,3"));
    entries()->setCurrentCell(0, Col::days);
    child<QPushButton>("removeEntry")->click();
    QCOMPARE(notes(), QStringLiteral("ac"));

    clickOk();
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    QCOMPARE(format(mDialog->timetable()),
             QStringLiteral("daily 20:00 show 1  # a\ndaily 22:00 show 3  # c\n"));
    QCOMPARE(mDialog->timetable().entries.at(1).line, 2);
    QCOMPARE(onDisk(), QByteArray("daily 20:00 show 1  # a\ndaily 22:00 show 3  # c\n"));
}

void tst_TimetableDialog::saveKeepsTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("edits"); // see edit()
    QTest::addColumn<QString>("saved");      // the file after OK

    const QString gallery = QStringLiteral("# Gallery, ground floor\n"
                                           "location 52.52 13.405  # the roof\n"
                                           "\n"
                                           "Sat,Sun 20:00 show 3  # weekend\n"
                                           "# the morning light\n"
                                           "daily 07:00 brightness 40\n"
                                           "Mon 10:00 off\n"
                                           "2026-12-24 rest\n");
    QTest::newRow("nothing changed") << gallery << QStringList() << gallery;
    QTest::newRow("one entry changed") << gallery << QStringList { "1,1=07:30" }
                                       << QString(gallery).replace(QStringLiteral("daily 07:00"), QStringLiteral("daily 07:30"));
    QTest::newRow("one removed, its comment kept")
        << gallery << QStringList { "-1" } << QString(gallery).remove(QStringLiteral("daily 07:00 brightness 40\n"));
    QTest::newRow("one added after its row")
        << gallery << QStringList { "+1:Fri|18:00|show 7|opening" }
        << QString(gallery).replace(QStringLiteral("brightness 40\n"), QStringLiteral("brightness 40\nFri 18:00 show 7  # opening\n"));
    // Of two lines that swap, one moves as written; the comment stays where it was.
    QTest::newRow("moved, written as it was")
        << gallery << QStringList { "down 1" }
        << QString(gallery)
               .remove(QStringLiteral("Mon 10:00 off\n"))
               .replace(QStringLiteral("weekend\n"), QStringLiteral("weekend\nMon 10:00 off\n"));
    QTest::newRow("a zone added below the location")
        << gallery << QStringList { "zone=Europe/Berlin" }
        << QString(gallery).replace(QStringLiteral("roof\n"), QStringLiteral("roof\nzone Europe/Berlin\n"));
    QTest::newRow("CRLF stays CRLF")
        << "# plan\r\nMon,Tue 20:00 show 1\r\nMon 10:00 off\r\n" << QStringList { "1,1=11:00", "+1:Tue|09:00|off|" }
        << "# plan\r\nMon,Tue 20:00 show 1\r\nMon 11:00 off\r\nTue 09:00 off\r\n";
}

// Only what the operator changed changes in the file: the author's
// spelling, comments and blank lines stay as written.
void tst_TimetableDialog::saveKeepsTheFile()
{
    QFETCH(QString, file);
    QFETCH(QStringList, edits);
    QFETCH(QString, saved);

    open(file);
    for (const QString &step : edits)
        edit(step);
    clickOk();
    QCOMPARE(child<QLabel>("error")->text(), QString());
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    QCOMPARE(QString::fromUtf8(onDisk()), saved);
    // What OK took is what the file now reads as, line numbers included.
    QCOMPARE(mDialog->timetable(), parse(QStringView(saved)).table);
    QCOMPARE(QFileInfo(mFile).lastModified() == QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC),
             edits.isEmpty());
    QVERIFY(mAnswerer->seen.isEmpty());
}

void tst_TimetableDialog::neverLosesAnything_data()
{
    QTest::addColumn<QString>("how"); // OK, Cancel, Escape or close, the window's button
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QByteArray>("meanwhile"); // written to the file by someone else
    QTest::addColumn<QString>("question");     // the box that asks, if any
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("file"); // then: "as it was", "edited" or "meanwhile"

    const QString changed = QStringLiteral("The timetable has changed. Save it?");
    QTest::newRow("unchanged, Escape closes") << "Escape" << false << QByteArray() << "" << "" << false
                                              << "as it was";
    QTest::newRow("Escape, then Cancel keeps it open")
        << "Escape" << true << QByteArray() << changed << "Cancel" << true << "as it was";
    QTest::newRow("the close button, then Discard")
        << "close" << true << QByteArray() << changed << "Discard" << false << "as it was";
    QTest::newRow("Cancel, then Save") << "Cancel" << true << QByteArray() << changed << "Save" << false
                                       << "edited";
    const QByteArray other = "daily 06:00 show 9  # by hand\n";
    const QString onDisk = QStringLiteral("The timetable file has changed since the editor read it\n");
    QTest::newRow("changed on disk, Cancel") << "OK" << true << other << onDisk << "Cancel" << true
                                             << "meanwhile";
    QTest::newRow("changed on disk, Overwrite")
        << "OK" << true << other << onDisk << "Overwrite" << false << "edited";
}

void tst_TimetableDialog::neverLosesAnything()
{
    QFETCH(QString, how);
    QFETCH(bool, edited);
    QFETCH(QByteArray, meanwhile);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    QFETCH(bool, open);
    QFETCH(QString, file);

    const QString original = QStringLiteral("daily 20:00 show 1  # a\n");
    this->open(original);
    if (edited)
        edit(QStringLiteral("0,1=21:00"));
    if (!meanwhile.isEmpty()) {
        QFile other(mFile);
        QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
        other.write(meanwhile);
    }
    if (!answer.isEmpty())
        mAnswerer->then(ModalAnswerer::click(answer));
    if (how == u"OK")
        clickOk();
    else if (how == u"Cancel")
        mDialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    else if (how == u"Escape")
        QTest::keyClick(mDialog.get(), Qt::Key_Escape);
    else
        mDialog->close();

    QCOMPARE(mAnswerer->seen.size(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty())
        QVERIFY2(mAnswerer->seen[0].text.startsWith(question), qPrintable(mAnswerer->seen[0].text));
    QCOMPARE(mDialog->isVisible(), open);
    if (open)
        QCOMPARE(cell(0, Col::time), edited ? QStringLiteral("21:00") : QStringLiteral("20:00"));
    const QByteArray expected = file == u"edited" ? QByteArray("daily 21:00 show 1  # a\n")
        : file == u"meanwhile"                     ? meanwhile
                                                   : original.toUtf8();
    QCOMPARE(onDisk(), expected);
}

void tst_TimetableDialog::otherFiles_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("chosen"); // its bytes; "pipe": a named pipe; empty: none there
    QTest::addColumn<QString>("error");     // the box's, for a file refused
    QTest::addColumn<QString>("shown");     // the first entry's days then

    QTest::newRow("open") << "openFile" << QByteArray("# other\nMon 09:00 show 2\n") << "" << "Mon";
    QTest::newRow("open, does not read") << "openFile" << QByteArray("Mon 25:00 off\n")
                                         << "line 1: \"25:00\" is not a time of day (00:00 to 23:59:59)"
                                         << "daily";
    QTest::newRow("open, a pipe") << "openFile" << QByteArray("pipe") << "Not a regular file" << "daily";
    QTest::newRow("open, too large") << "openFile" << QByteArray(2 * 1024 * 1024, '#')
                                     << "the file is larger than 1 MiB" << "daily";
    QTest::newRow("save as") << "saveAs" << QByteArray() << "" << "daily";
}

// Open... shows a file, which becomes the timetable's on OK; Save As...
// names another, written on OK. Neither touches the file shown before.
void tst_TimetableDialog::otherFiles()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, chosen);
    QFETCH(QString, error);
    QFETCH(QString, shown);

    const QString original = QStringLiteral("# mine\ndaily 20:00 show 1\n");
    open(original);
    const QString other = mDir->filePath(QStringLiteral("other.txt"));
    if (chosen == "pipe") {
        QCOMPARE(mkfifo(QFile::encodeName(other).constData(), 0600), 0);
    } else if (!chosen.isEmpty()) {
        QFile file(other);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(chosen);
    }
    mAnswerer->then(chooseFile(other));
    if (!error.isEmpty())
        mAnswerer->then(ModalAnswerer::click("OK"));
    child<QPushButton>(qPrintable(button))->click();
    QTRY_COMPARE(mAnswerer->seen.size(), error.isEmpty() ? 1 : 2);
    if (!error.isEmpty()) {
        QCOMPARE(mAnswerer->seen[1].text, QStringLiteral("Could not open the timetable\n") + other);
        QCOMPARE(mAnswerer->seen[1].informativeText, error);
    }
    QCOMPARE(cell(0, Col::days), shown);

    clickOk();
    QCOMPARE(mDialog->result(), int(QDialog::Accepted));
    const bool taken = error.isEmpty();
    QCOMPARE(mDialog->fileName(), taken ? other : mFile);
    QCOMPARE(QString::fromUtf8(onDisk()), original);
    if (button == u"saveAs") {
        QFile copy(other);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(copy.readAll()), original);
    } else if (taken) {
        QFile opened(other);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), chosen);
    }
}

void tst_TimetableDialog::nextSevenDays_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QStringList>("rows"); // day, time, action, line, note

    QTest::newRow("clocks go forward, a rest day")
        << "# spring\ndaily 20:00 show 1\n2026-03-28 rest  # closed\n" << "Europe/Berlin"
        << QDateTime(QDate(2026, 3, 26), QTime(12, 0), Qt::UTC)
        << QStringList { "Thu 26 Mar|20:00|show 1|2|", "Fri 27 Mar|20:00|show 1|2|",
                         "Sat 28 Mar||rest day|3|closed", "Sun 29 Mar|02:00|clocks go forward an hour||",
                         "Sun 29 Mar|20:00|show 1|2|", "Mon 30 Mar|20:00|show 1|2|", "Tue 31 Mar|20:00|show 1|2|",
                         "Wed 1 Apr|20:00|show 1|2|" };
    QTest::newRow("clocks go back, sun times, one instant")
        << "location 40.71 -74.01\nSun sunset show 2  # dusk\nSun 12:00:30 off\nSun 12:00:30 brightness 5\n"
        << "America/New_York" << QDateTime(QDate(2026, 10, 31), QTime(12, 0), Qt::UTC)
        << QStringList { "Sun 1 Nov|02:00|clocks go back an hour||", "Sun 1 Nov|12:00:30|off|3|",
                         "Sun 1 Nov|12:00:30|brightness 5|4|", "Sun 1 Nov|16:52|show 2|2|dusk" };
}

// Every occurrence of the coming week where the operator can check it,
// in the plan's zone, with what makes a day different.
void tst_TimetableDialog::nextSevenDays()
{
    QFETCH(QString, file);
    QFETCH(QString, zone);
    QFETCH(QDateTime, now);
    QFETCH(QStringList, rows);

    mDialog->setZone(QTimeZone(zone.toLatin1()));
    mDialog->setNow([now] { return now; });
    open(file);
    auto *tabs = child<QTabWidget>("tabs");
    auto *preview = child<QTableView>("preview");
    tabs->setCurrentWidget(preview->parentWidget());
    QVERIFY(preview->isVisible());
    const auto shown = [preview] {
        QStringList texts;
        const QAbstractItemModel *model = preview->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells << model->index(row, column).data().toString();
            texts << cells.join(u'|');
        }
        return texts;
    };
    QCOMPARE(shown(), rows);

    // Edited, shown again after a pause in the typing.
    tabs->setCurrentIndex(0);
    entries()->item(0, Col::action)->setText(QStringLiteral("show 9"));
    tabs->setCurrentWidget(preview->parentWidget());
    QVERIFY(shown().join(u' ').contains(u"show 9"));
}

void tst_TimetableDialog::sendNowTakesTheSelectedEntry()
{
    open(QStringLiteral("daily 20:00 show 12\ndaily 21:00 brightness 40\n"));
    QSignalSpy sent(mDialog.get(), &TimetableDialog::sendNow);
    auto *send = child<QPushButton>("sendNow");
    entries()->setCurrentCell(1, Col::days);
    send->click();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0][0].value<Action>(), (Action { Action::Kind::Brightness, 40 }));
    entries()->item(1, Col::action)->setText(QStringLiteral("brightness 400"));
    QVERIFY(!send->isEnabled());
    entries()->setCurrentCell(0, Col::days);
    QVERIFY(send->isEnabled());
}

QTEST_MAIN(tst_TimetableDialog)
#include "tst_timetabledialog.moc"
