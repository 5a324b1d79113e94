// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/journal.h"
#include "link/commands.h"
#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QTableWidget>
#include <QTimeZone>
#include <QUrl>

#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(JournalRecord)

// The journal: its lines, its rotation, reading it back, and what the window
// records in it and shows of it.
class tst_Journal : public QObject
{
    Q_OBJECT

public slots:
    void openedUrl(const QUrl &url) { mOpened = url; }

private slots:
    void lines_data();
    void lines();
    void linesNotWritten_data();
    void linesNotWritten();
    void rotation_data();
    void rotation();
    void newestAcrossFiles();
    void writeFailure_data();
    void writeFailure();
    void twoProgramsShareTheFolder();

    void init();
    void cleanup();
    void windowRecordsAndShows();
    void dialogWords_data();
    void dialogWords();

private:
    void startWindow();

    QUrl mOpened;
    std::unique_ptr<QTemporaryDir> mData;
    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

namespace {

const QDateTime berlinSummer(QDate(2026, 3, 29), QTime(20, 0, 0, 123), QTimeZone(2 * 3600));

JournalRecord record(const QString &name, const QString &source = QStringLiteral("mouse"))
{
    return { berlinSummer, "X0425", name, source, QStringLiteral("sent") };
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// count lines numbered from first, oldest first, as the journal writes them.
QByteArray numberedLines(int first, int count)
{
    QByteArray bytes;
    for (int n = first; n < first + count; ++n)
        bytes += JournalLine::format(record(QString::number(n)));
    return bytes;
}

} // namespace

void tst_Journal::lines_data()
{
    QTest::addColumn<JournalRecord>("record");
    QTest::addColumn<QByteArray>("line"); // empty: only that it comes back

    QTest::newRow("as documented") << record(QStringLiteral("Vernissage"))
                                   << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\tVernissage\n");
    QTest::newRow("no name, refused, remote")
        << JournalRecord { berlinSummer, "X0100", {}, QStringLiteral("remote ::1"), QStringLiteral("refused: no port") }
        << QByteArray("2026-03-29 20:00:00.123+02:00\tX0100\trefused: no port\tremote ::1\t\n");
    QTest::newRow("tab and newline in the name")
        << record(QStringLiteral("Act 1\tscene 5\nfinale\r"))
        << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\tAct 1\\tscene 5\\nfinale\\r\n");
    QTest::newRow("backslashes that look like escapes")
        << record(QStringLiteral("C:\\new\\tab \\x41 \\"))
        << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\tC:\\\\new\\\\tab \\\\x41 \\\\\n");
    QTest::newRow("control characters") << record(QString::fromUtf8("bell\a esc\x1b del\x7f")) << QByteArray();
    QTest::newRow("beyond ASCII") << record(QString::fromUtf8("Façade · 夜 🎆")) << QByteArray();
    // A sixth field only where there is a note: other lines stay as before.
    QTest::newRow("a timetable entry's note")
        << JournalRecord { berlinSummer, "X040C", QStringLiteral("Vernissage"), QStringLiteral("timetable line 2"),
                           QStringLiteral("sent"), QStringLiteral("doors\topen") }
        << QByteArray("2026-03-29 20:00:00.123+02:00\tX040C\tsent\ttimetable line 2\tVernissage\tdoors\\topen\n");
    // The second pass of a repeated autumn hour stays apart from the first.
    QTest::newRow("offset west of UTC")
        << JournalRecord { QDateTime(QDate(2026, 11, 1), QTime(1, 30), QTimeZone(-5 * 3600)), "X02FF", {},
                           QStringLiteral("timetable line 12"), QStringLiteral("sent") }
        << QByteArray("2026-11-01 01:30:00.000-05:00\tX02FF\tsent\ttimetable line 12\t\n");
}

void tst_Journal::lines()
{
    QFETCH(JournalRecord, record);
    QFETCH(QByteArray, line);
    const QByteArray written = JournalLine::format(record);
    if (!line.isEmpty())
        QCOMPARE(written, line);
    QCOMPARE(written.count('\n'), 1);
    QCOMPARE(written.count('\t'), record.note.isEmpty() ? 4 : 5);
    const std::optional<JournalRecord> read = JournalLine::parse(written);
    QVERIFY(read);
    QCOMPARE(read->when, record.when);
    QCOMPARE(read->when.offsetFromUtc(), record.when.offsetFromUtc());
    QCOMPARE(read->command, record.command);
    QCOMPARE(read->name, record.name);
    QCOMPARE(read->source, record.source);
    QCOMPARE(read->outcome, record.outcome);
    QCOMPARE(read->note, record.note);
}

void tst_Journal::linesNotWritten_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut off by a crash") << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tse");
    QTest::newRow("a field too many") << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\ta\tb\tc");
    QTest::newRow("no offset") << QByteArray("2026-03-29 20:00:00.123\tX0425\tsent\tmouse\t");
    QTest::newRow("unknown escape") << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\ta\\q");
    QTest::newRow("escape cut off") << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\ta\\x4");
}

void tst_Journal::linesNotWritten()
{
    QFETCH(QByteArray, line);
    QVERIFY(!JournalLine::parse(line));
}

void tst_Journal::rotation_data()
{
    QTest::addColumn<qint64>("spaceLeft"); // below the limit before the record
    // journal.log.1 to .4 before: 'o' an older file, 'd' a directory in the
    // way, '-' nothing.
    QTest::addColumn<QByteArray>("before");
    // And after: 'f' the full journal.log, '1' to '4' the older file of that
    // number before. journal.log holds the record alone where it rotated,
    // and the full file and the record where it did not.
    QTest::addColumn<QByteArray>("after");

    const qint64 lineSize = JournalLine::format(record(QStringLiteral("x"))).size();
    QTest::newRow("fills it exactly") << lineSize << QByteArray("----") << QByteArray("----");
    QTest::newRow("one byte over") << lineSize - 1 << QByteArray("----") << QByteArray("f---");
    QTest::newRow("one byte over, two older") << lineSize - 1 << QByteArray("oo--") << QByteArray("f12-");
    QTest::newRow("one byte over, four older: the oldest goes")
        << lineSize - 1 << QByteArray("oooo") << QByteArray("f123");
    QTest::newRow("a gap left before is filled, nothing dropped")
        << lineSize - 1 << QByteArray("o-oo") << QByteArray("f134");
    QTest::newRow("the oldest cannot go: the record stays in journal.log")
        << lineSize - 1 << QByteArray("oood") << QByteArray("123d");
}

void tst_Journal::rotation()
{
    QFETCH(qint64, spaceLeft);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    Journal journal(dir.path());
    const QString current = journal.filePath();
    const auto older = [&current](int n) { return current + QLatin1Char('.') + QString::number(n); };
    const auto olderText = [](int n) { return "older " + QByteArray::number(n) + '\n'; };
    const QByteArray filling = QByteArray(Journal::maxFileSize - spaceLeft - 1, 'f') + '\n';
    writeFile(current, filling);
    for (int n = 1; n <= Journal::olderFiles; ++n) {
        if (before[n - 1] == 'o')
            writeFile(older(n), olderText(n));
        else if (before[n - 1] == 'd')
            QVERIFY(QDir().mkdir(older(n)));
    }

    QVERIFY(journal.append(record(QStringLiteral("x"))).isEmpty());
    const QByteArray line = JournalLine::format(record(QStringLiteral("x")));

    QCOMPARE(readAll(current), after.startsWith('f') ? line : filling + line);
    for (int n = 1; n <= Journal::olderFiles; ++n) {
        const char expected = after[n - 1];
        if (expected == 'd')
            QVERIFY(QFileInfo(older(n)).isDir());
        else
            QCOMPARE(readAll(older(n)), expected == 'f'   ? filling
                                            : expected == '-' ? QByteArray("(none)")
                                                              : olderText(expected - '0'));
    }
    QVERIFY(!QFile::exists(older(Journal::olderFiles + 1)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral("journal.log")).size(),
             1 + after.count('f') + after.count('1') + after.count('2') + after.count('3') + after.count('4'));
}

void tst_Journal::newestAcrossFiles()
{
    QTemporaryDir dir;
    Journal journal(dir.path());
    const QString current = journal.filePath();
    // Oldest in .2, newest in the current file; a line cut short by a crash
    // and a blank one in between are passed over.
    writeFile(current + QStringLiteral(".2"), numberedLines(0, 100));
    writeFile(current + QStringLiteral(".1"), numberedLines(100, 400) + "2026-03-29 20:00:0");
    writeFile(current, "\n" + numberedLines(500, 200));

    const QList<JournalRecord> newest = journal.newest(550);
    QCOMPARE(newest.size(), 550);
    for (int i = 0; i < newest.size(); ++i)
        QCOMPARE(newest[i].name, QString::number(699 - i));

    const QList<JournalRecord> all = journal.newest(10000);
    QCOMPARE(all.size(), 700);
    QCOMPARE(all.last().name, QStringLiteral("0"));

    QVERIFY(Journal(dir.path() + QStringLiteral("/none")).newest(500).isEmpty());
}

void tst_Journal::writeFailure_data()
{
    QTest::addColumn<bool>("deviceFull"); // else the file size limit cuts the line short
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full") << true << QStringLiteral("No space left on device");
    // As a disk that fills up in the middle of a line: part of it is
    // written, and the system's reason comes only with the next write.
    QTest::newRow("cut off in the middle of a line") << false << QStringLiteral("File too large");
}

// Told in the system's words, once; and once it can be written again, the
// next record reads back, whatever part of a line was left.
void tst_Journal::writeFailure()
{
    QFETCH(bool, deviceFull);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    Journal journal(dir.path());
    const QString current = journal.filePath();
    writeFile(current, numberedLines(0, 10));
    const QByteArray before = readAll(current);
    {
        const rlimit unlimited { RLIM_INFINITY, RLIM_INFINITY };
        rlimit fileSize {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &fileSize), 0);
        const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            std::signal(SIGXFSZ, ignored);
            setrlimit(RLIMIT_FSIZE, &fileSize);
            QFile::remove(current);
            QFile::rename(current + QStringLiteral(".kept"), current);
        });
        if (deviceFull) {
            QVERIFY(QFile::rename(current, current + QStringLiteral(".kept")));
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), current));
        } else {
            QVERIFY(QFile::copy(current, current + QStringLiteral(".kept")));
            const rlimit justOver { rlim_t(before.size() + 10), unlimited.rlim_max };
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &justOver), 0);
        }
        const QString failure = journal.append(record(QStringLiteral("lost")));
        QCOMPARE(failure, reason + QStringLiteral(": ") + current);
        QCOMPARE(journal.append(record(QStringLiteral("lost"))), QString());
        if (!deviceFull) {
            QCOMPARE(QFileInfo(current).size(), before.size() + 10);
            // The part written stays where it is: nothing is rewritten.
            QFile::remove(current + QStringLiteral(".kept"));
            QVERIFY(QFile::copy(current, current + QStringLiteral(".kept")));
        }
    }
    QCOMPARE(journal.append(record(QStringLiteral("after"))), QString());
    QStringList names;
    for (const JournalRecord &read : journal.newest(3))
        names << read.name;
    QCOMPARE(names, QStringList({ "after", "9", "8" }));
}

// Two programs on two ports, one journal folder, each writing records that
// rotate it again and again: no record is lost, none is told as unwritten,
// and the files stay a sequence.
void tst_Journal::twoProgramsShareTheFolder()
{
    QTemporaryDir dir;
    constexpr int perProgram = 150;
    // Some 10 kB a record: a rotation every hundred, the whole fits in five files.
    const QString big(10000, u'n');
    pid_t programs[2] {};
    for (int p = 0; p < 2; ++p) {
        programs[p] = fork();
        QVERIFY(programs[p] >= 0);
        if (programs[p] == 0) {
            Journal journal(dir.path());
            for (int n = 0; n < perProgram; ++n) {
                if (!journal.append(record(big, QStringLiteral("program %1 record %2").arg(p).arg(n))).isEmpty())
                    _exit(1);
            }
            _exit(0);
        }
    }
    for (pid_t program : programs) {
        int status = -1;
        QCOMPARE(waitpid(program, &status, 0), program);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
    const QList<JournalRecord> all = Journal(dir.path()).newest(10 * perProgram);
    QSet<QString> sources;
    for (const JournalRecord &read : all)
        sources.insert(read.source);
    QCOMPARE(sources.size(), 2 * perProgram);
    QCOMPARE(all.size(), 2 * perProgram);
    int files = 0;
    while (QFile::exists(Journal(dir.path()).filePath() + QLatin1Char('.') + QString::number(files + 1)))
        ++files;
    QVERIFY(!QFile::exists(Journal(dir.path()).filePath() + QLatin1Char('.') + QString::number(files + 2)));
    QVERIFY2(files >= 2, qPrintable(QString::number(files)));
}

void tst_Journal::init()
{
    mData = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", mData->path().toLocal8Bit());
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
}

void tst_Journal::cleanup()
{
    mWindow.reset();
    mPty.reset();
    mSettings.reset();
    mData.reset();
}

void tst_Journal::startWindow()
{
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
}

void tst_Journal::windowRecordsAndShows()
{
    const QString journalPath = mData->path() + QStringLiteral("/lumivane.org/Lumivane/journal.log");
    startWindow();
    QRadioButton *show37 = showButton(*mWindow, 36);
    mWindow->setShowName(36, QStringLiteral("Act 1\tscene 5"));
    mWindow->mTabber->setCurrentIndex(1);
    QTest::mouseClick(show37, Qt::LeftButton, {}, QPoint(5, 10));
    QCOMPARE(mPty->read(), QByteArray("X0425"));
    QTest::keyClick(mWindow.get(), Qt::Key_Escape);
    QCOMPARE(mPty->read(), QByteArray(Commands::off));

    // The adapter gone: refused, and said so in the journal too.
    mPty.reset();
    QTRY_VERIFY(mWindow->linkText().startsWith(QStringLiteral("Not connected")));
    QTest::mouseClick(showButton(*mWindow, 40), Qt::LeftButton, {}, QPoint(5, 10));

    // File, Journal...: newest first, in words, and where the file is, with
    // a way there; what this program and another one sharing the folder
    // write meanwhile comes in at the top; the filter keeps one source.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedUrl");
    QStringList rows;
    QStringList visible;
    QString folderShown;
    QString folderUnopened;
    ModalAnswerer answerer;
    answerer.then([&](QWidget *dialog) {
        // Closed also when a check below fails, so the test ends.
        const auto close = qScopeGuard([dialog] { static_cast<QDialog *>(dialog)->reject(); });
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("journalTable"));
        const auto cells = [table](int row) {
            QStringList texts;
            for (int column = 1; column < table->columnCount(); ++column)
                texts << table->item(row, column)->text();
            return texts.join(QLatin1Char('|'));
        };
        for (int row = 0; table && row < table->rowCount(); ++row)
            rows << cells(row);
        folderShown = dialog->findChild<QLabel *>(QStringLiteral("journalFolder"))->text();
        QPushButton *open = nullptr;
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("Open Folder"))
                open = button;
        }
        open->click();
        // Nothing to open a folder with, as on a computer without a file manager.
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        open->click();
        folderUnopened = dialog->findChild<QLabel *>(QStringLiteral("journalFolder"))->text();

        mWindow->panel().dispatch(Command::off(), Source::remote(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE(table->rowCount(), 4);
        Journal(QFileInfo(journalPath).path())
            .append({ QDateTime::currentDateTime(), "X0402", QStringLiteral("Show 2"),
                      QStringLiteral("key"), QStringLiteral("sent") });
        QTRY_COMPARE(table->rowCount(), 5);
        rows << cells(1) << cells(0);

        auto *sources = dialog->findChild<QComboBox *>(QStringLiteral("journalSources"));
        sources->setCurrentIndex(sources->findText(QStringLiteral("key")));
        for (int row = 0; row < table->rowCount(); ++row) {
            if (!table->isRowHidden(row))
                visible << cells(row);
        }
    });
    mWindow->fileJournalAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Journal"));
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[0], QStringLiteral("Show 41|mouse|refused: no port|"));
    QCOMPARE(rows[1], QStringLiteral("Off|key|sent|"));
    QCOMPARE(rows[2], QStringLiteral("Show 37 · Act 1\tscene 5|mouse|sent|"));
    QCOMPARE(rows[3], QStringLiteral("Off|remote 127.0.0.1|refused: no port|"));
    QCOMPARE(rows[4], QStringLiteral("Show 2|key|sent|"));
    QCOMPARE(visible, QStringList({ rows[4], rows[1] }));
    QVERIFY2(folderShown.endsWith(QDir::toNativeSeparators(QFileInfo(journalPath).path())), qPrintable(folderShown));
    QCOMPARE(mOpened, QUrl::fromLocalFile(QFileInfo(journalPath).path()));
    QVERIFY2(folderUnopened.startsWith(QStringLiteral("Nothing could open the folder.")), qPrintable(folderUnopened));
}

void tst_Journal::dialogWords_data()
{
    QTest::addColumn<JournalRecord>("record");
    QTest::addColumn<QString>("shown"); // Command|Source|Outcome|Note

    const QDateTime now = QDateTime::currentDateTime();
    QTest::newRow("a named show") << JournalRecord { now, "X0407", QStringLiteral("Vernissage"),
                                                     QStringLiteral("mouse"), QStringLiteral("sent") }
                                  << QStringLiteral("Show 7 · Vernissage|mouse|sent|");
    QTest::newRow("off") << JournalRecord { now, "X0100", {}, QStringLiteral("key"), QStringLiteral("sent") }
                         << QStringLiteral("Off|key|sent|");
    QTest::newRow("brightness") << JournalRecord { now, "X027E", {}, QStringLiteral("remote 192.0.2.7"),
                                                   QStringLiteral("sent") }
                                << QStringLiteral("Brightness 49%|remote 192.0.2.7|sent|");
    QTest::newRow("a timetable entry and its note")
        << JournalRecord { now, "X040C", QStringLiteral("Show 12"), QStringLiteral("catch-up line 4"),
                           QStringLiteral("replaced"), QStringLiteral("doors open") }
        << QStringLiteral("Show 12|catch-up line 4|replaced|doors open");
    QTest::newRow("a timetable file refused")
        << JournalRecord { now, {}, {}, QStringLiteral("timetable"),
                           QStringLiteral("refused: timetable file /srv/gallery.txt, line 4: \"show 129\"") }
        << QStringLiteral("timetable file /srv/gallery.txt, line 4: \"show 129\"|timetable|refused|");
    QTest::newRow("a remote message refused")
        << JournalRecord { now, {}, {}, QStringLiteral("remote 192.0.2.7"),
                           QStringLiteral("refused: not allowed") }
        << QStringLiteral("not allowed|remote 192.0.2.7|refused|");
}

void tst_Journal::dialogWords()
{
    QFETCH(JournalRecord, record);
    QFETCH(QString, shown);

    startWindow();
    QVERIFY(Journal().append(record).isEmpty());
    QString row;
    ModalAnswerer answerer;
    answerer.then([&](QWidget *dialog) {
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("journalTable"));
        QStringList cells;
        for (int column = 1; table && table->rowCount() == 1 && column < table->columnCount(); ++column)
            cells << table->item(0, column)->text();
        row = cells.join(QLatin1Char('|'));
        static_cast<QDialog *>(dialog)->reject();
    });
    mWindow->fileJournalAction->trigger();
    QCOMPARE(row, shown);
}

QTEST_MAIN(tst_Journal)
#include "tst_journal.moc"
