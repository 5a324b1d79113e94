// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/journal.h"
#include "link/commands.h"
#include "window/lumivanemainwindow.h"
#include "testsupport.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimeZone>
#include <QUrl>

#include <memory>

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

    void init();
    void cleanup();
    void windowRecordsAndShows();
    void unwritableToldOnceCommandsStillSent();

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
    QCOMPARE(written.count('\t'), 4);
    const std::optional<JournalRecord> read = JournalLine::parse(written);
    QVERIFY(read);
    QCOMPARE(read->when, record.when);
    QCOMPARE(read->when.offsetFromUtc(), record.when.offsetFromUtc());
    QCOMPARE(read->command, record.command);
    QCOMPARE(read->name, record.name);
    QCOMPARE(read->source, record.source);
    QCOMPARE(read->outcome, record.outcome);
}

void tst_Journal::linesNotWritten_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut off by a crash") << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tse");
    QTest::newRow("a field too many") << QByteArray("2026-03-29 20:00:00.123+02:00\tX0425\tsent\tmouse\ta\tb");
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
    QTest::addColumn<int>("olderBefore");  // journal.log.1 ... already there
    QTest::addColumn<bool>("rotates");

    const qint64 lineSize = JournalLine::format(record(QStringLiteral("x"))).size();
    QTest::newRow("fills it exactly") << lineSize << 0 << false;
    QTest::newRow("one byte over") << lineSize - 1 << 0 << true;
    QTest::newRow("one byte over, two older") << lineSize - 1 << 2 << true;
    QTest::newRow("one byte over, four older: the oldest goes") << lineSize - 1 << 4 << true;
}

void tst_Journal::rotation()
{
    QFETCH(qint64, spaceLeft);
    QFETCH(int, olderBefore);
    QFETCH(bool, rotates);

    QTemporaryDir dir;
    Journal journal(dir.path());
    const QString current = journal.filePath();
    const auto older = [&current](int n) { return current + QLatin1Char('.') + QString::number(n); };
    const QByteArray filling(Journal::maxFileSize - spaceLeft, 'f');
    writeFile(current, filling);
    for (int n = 1; n <= olderBefore; ++n)
        writeFile(older(n), "older " + QByteArray::number(n) + '\n');

    QVERIFY(journal.append(record(QStringLiteral("x"))).isEmpty());
    const QByteArray line = JournalLine::format(record(QStringLiteral("x")));

    if (!rotates) {
        QCOMPARE(readAll(current), filling + line);
        QCOMPARE(QFileInfo(current).size(), Journal::maxFileSize);
        QVERIFY(!QFile::exists(older(1)));
        return;
    }
    QCOMPARE(readAll(current), line);
    QCOMPARE(readAll(older(1)), filling);
    for (int n = 2; n <= Journal::olderFiles; ++n) {
        const QByteArray expected = n - 1 <= olderBefore ? "older " + QByteArray::number(n - 1) + '\n'
                                                         : QByteArray("(none)");
        QCOMPARE(readAll(older(n)), expected);
    }
    QVERIFY(!QFile::exists(older(Journal::olderFiles + 1)));
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

    // The line is there as soon as the byte is, for tail -f.
    QList<QByteArray> lines = readAll(journalPath).split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].endsWith("\tX0425\tsent\tmouse\tAct 1\\tscene 5"), lines[0]);
    QVERIFY2(lines[1].endsWith("\tX0100\tsent\tkey\t"), lines[1]);

    // The adapter gone: refused, and said so in the journal too.
    mPty.reset();
    QTRY_VERIFY(mWindow->linkText().startsWith(QStringLiteral("Not connected")));
    QTest::mouseClick(showButton(*mWindow, 40), Qt::LeftButton, {}, QPoint(5, 10));
    lines = readAll(journalPath).split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[2].endsWith("\tX0429\trefused: no port\tmouse\tShow 41"), lines[2]);

    // File, Journal...: newest first, and where the file is, with a way there.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedUrl");
    QStringList rows;
    QString folderShown;
    ModalAnswerer answerer;
    answerer.then([&](QWidget *dialog) {
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("journalTable"));
        for (int row = 0; table && row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 1; column < table->columnCount(); ++column)
                cells << table->item(row, column)->text();
            rows << cells.join(QLatin1Char('|'));
        }
        folderShown = dialog->findChild<QLabel *>(QStringLiteral("journalFolder"))->text();
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("Open Folder"))
                button->click();
        }
        static_cast<QDialog *>(dialog)->reject();
    });
    mWindow->fileJournalAction->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Journal"));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0], QStringLiteral("X0429|Show 41|mouse|refused: no port"));
    QCOMPARE(rows[1], QStringLiteral("X0100||key|sent"));
    QCOMPARE(rows[2], QStringLiteral("X0425|Act 1\tscene 5|mouse|sent"));
    QVERIFY2(folderShown.endsWith(QDir::toNativeSeparators(QFileInfo(journalPath).path())), qPrintable(folderShown));
    QCOMPARE(mOpened, QUrl::fromLocalFile(QFileInfo(journalPath).path()));
}

void tst_Journal::unwritableToldOnceCommandsStillSent()
{
    // Beneath a file, no folder can be made, not even by root.
    const QString blocker = mData->path() + QStringLiteral("/file");
    writeFile(blocker, "not a folder");
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    startWindow();
    QSignalSpy messages(mWindow->statusBar(), &QStatusBar::messageChanged);
    for (int id : { 0, 1, 2 }) {
        QTest::mouseClick(showButton(*mWindow, id), Qt::LeftButton, {}, QPoint(5, 10));
        QCOMPARE(mPty->read(), Commands::startShow(id));
    }
    int told = 0;
    for (const QList<QVariant> &message : messages)
        told += message.at(0).toString().startsWith(QStringLiteral("The journal cannot be written: "));
    QCOMPARE(told, 1);
    QVERIFY2(mWindow->statusBar()->currentMessage().contains(blocker),
             qPrintable(mWindow->statusBar()->currentMessage()));
}

QTEST_MAIN(tst_Journal)
#include "tst_journal.moc"
