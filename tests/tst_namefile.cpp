// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/lumivanemainwindow.h"
#include "names/namefilecodec.h"
#include "testsupport.h"

#include <QAction>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>

#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

// Show names in files: decoding, loading, saving and the question at start-up.
class tst_NameFile : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void refusesWhatIsNoNameFile_data();
    void refusesWhatIsNoNameFile();
    void encode();

    void init();
    void cleanup();
    void saveThenLoadRoundTrip();
    void loadingPartialAndEmptyFiles();
    void appendedTxtAsksBeforeReplacing();
    void failedLoadChangesNothing_data();
    void failedLoadChangesNothing();
    void tooLongNameIsNotSaved();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();

    void startUpOffersTheLastFile_data();
    void startUpOffersTheLastFile();
    void decliningKeepsTheLastFile_data();
    void decliningKeepsTheLastFile();
    void twoCopiesKeepEachOthersChoice();

private:
    void startWindow();
    void setNames(const QStringList &names);
    QString writeFile(const QString &name, const QByteArray &bytes);

    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<QTemporaryDir> mDir;
    std::unique_ptr<LumivaneMainWindow> mWindow;
};

static QStringList defaultNames()
{
    QStringList names;
    for (int i = 1; i <= 128; ++i)
        names << QStringLiteral("Show %1").arg(i);
    return names;
}

void tst_NameFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("CR LF") << QByteArray("Intro\r\nFinale\r\n") << QStringList({ "Intro", "Finale" });
    QTest::newRow("LF only") << QByteArray("Intro\nFinale\n") << QStringList({ "Intro", "Finale" });
    QTest::newRow("CR only") << QByteArray("Intro\rFinale\r") << QStringList({ "Intro", "Finale" });
    QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd") << QStringList({ "a", "b", "c", "d" });
    QTest::newRow("no final line end") << QByteArray("Intro\r\nFinale") << QStringList({ "Intro", "Finale" });
    QTest::newRow("empty lines and blanks")
        << QByteArray("\r\n  Two  words \r\n\r\n") << QStringList({ "", "  Two  words ", "" });
    QTest::newRow("UTF-8") << QByteArray("B\xC3\xBChne \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC\r\n")
                           << QStringList({ QString::fromUtf8("Bühne – 日本") });
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF" "Caf\xC3\xA9\r\nX\r\n")
                                    << QStringList({ QString::fromUtf8("Café"), "X" });
    QTest::newRow("Windows-1252") << QByteArray("Gr\xFCn\r\nCaf\xE9\r\n\x80 \x93quoted\x94\r\n")
                                  << QStringList({ QString::fromUtf8("Grün"), QString::fromUtf8("Café"),
                                                   QString::fromUtf8("€ “quoted”") });
    // One old 8-bit line garbles neither the UTF-8 lines around it nor, after
    // a byte-order mark, itself.
    QTest::newRow("UTF-8 and Windows-1252 lines")
        << QByteArray("Caf\xC3\xA9 No\xC3\xABl\r\nCr\xE8me\r\nB\xC3\xBChne\r\n")
        << QStringList({ QString::fromUtf8("Café Noël"), QString::fromUtf8("Crème"), QString::fromUtf8("Bühne") });
    QTest::newRow("UTF-8 BOM with 8-bit lines")
        << QByteArray("\xEF\xBB\xBF" "Cr\xE8me\r\nCaf\xC3\xA9\r\n")
        << QStringList({ QString::fromUtf8("Crème"), QString::fromUtf8("Café") });
    const QString utf16 = QString::fromUtf8("Crème\r\nR&B 日本\n\r\nlast");
    const QStringList utf16Names = { QString::fromUtf8("Crème"), QString::fromUtf8("R&B 日本"), "", "last" };
    QByteArray le("\xFF\xFE");
    QByteArray be("\xFE\xFF");
    for (const QChar c : utf16) {
        le += char(c.unicode() & 0xFF);
        le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8);
        be += char(c.unicode() & 0xFF);
    }
    // A mark at the start of a later line (files joined) is no part of a name.
    QTest::newRow("marks at line starts") << QByteArray("A\r\n\xEF\xBB\xBF\xEF\xBB\xBF" "B\r\n")
                                          << QStringList({ "A", "B" });
    QTest::newRow("mark before a Windows-1252 line") << QByteArray("A\r\n\xEF\xBB\xBF" "Cr\xE8me\r\n")
                                                     << QStringList({ "A", QString::fromUtf8("Crème") });
    QTest::newRow("UTF-16 mark at a line start")
        << QByteArray("\xFF\xFE" "A\0\n\0\xFF\xFE" "B\0", 10) << QStringList({ "A", "B" });
    QTest::newRow("UTF-16 LE with BOM") << le << utf16Names;
    QTest::newRow("UTF-16 BE with BOM") << be << utf16Names;
    // UTF-8 cannot hold a lone surrogate: loaded as it would be saved.
    QTest::newRow("UTF-16 lone surrogate") << QByteArray("\xFF\xFE\x00\xD8" "a\0", 6)
                                           << QStringList({ QString(QChar::ReplacementCharacter) + "a" });

    QByteArray many;
    QStringList first128;
    for (int i = 1; i <= 130; ++i) {
        many += "Name " + QByteArray::number(i) + "\r\n";
        if (i <= 128)
            first128 << QStringLiteral("Name %1").arg(i);
    }
    QTest::newRow("130 lines") << many << first128;
    // What follows the last line used is not judged: binary junk there is fine.
    QTest::newRow("junk after line 128") << many.left(many.indexOf("Name 129")) + QByteArray(10000, '\0')
                                         << first128;
    QTest::newRow("longest name") << QByteArray(NameFile::maxNameLength, 'n')
                                  << QStringList({ QString(NameFile::maxNameLength, QLatin1Char('n')) });
    QTest::newRow("longest name in three-byte characters")
        << QByteArray("\xE2\x82\xAC").repeated(NameFile::maxNameLength)
        << QStringList({ QString(NameFile::maxNameLength, QChar(0x20AC)) });
    QTest::newRow("longest name in Windows-1252") << QByteArray(NameFile::maxNameLength, '\x80')
                                                  << QStringList({ QString(NameFile::maxNameLength, QChar(0x20AC)) });
}

void tst_NameFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);

    const NameFile::Result result = NameFile::decode(bytes);
    QCOMPARE(result.error, NameFile::Error::None);
    QCOMPARE(result.names, names);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(NameFile::read(buffer).names, names);
    // Saved, whatever it was read as, it loads as the same names.
    QCOMPARE(NameFile::decode(NameFile::encode(names)).names.first(names.size()), names);
}

void tst_NameFile::refusesWhatIsNoNameFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<NameFile::Error>("error");

    QTest::newRow("NUL byte") << QByteArray("Intro\r\nFin\0ale\r\n", 16) << NameFile::Error::Binary;
    QTest::newRow("UTF-16 without BOM") << QByteArray("I\0n\0", 4) << NameFile::Error::Binary;
    QTest::newRow("UTF-16 name too long")
        << QByteArray("\xFE\xFF") + QByteArray("\0n", 2).repeated(NameFile::maxNameLength + 1)
        << NameFile::Error::LineTooLong;
    QTest::newRow("name too long") << QByteArray(NameFile::maxNameLength + 1, 'n') << NameFile::Error::LineTooLong;
    QTest::newRow("line too long") << QByteArray(NameFile::maxLineBytes + 1, '\x80') << NameFile::Error::LineTooLong;
    QTest::newRow("long line after short ones")
        << QByteArray("a\r\nb\r\n") + QByteArray(100000, 'x') << NameFile::Error::LineTooLong;
}

void tst_NameFile::refusesWhatIsNoNameFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(NameFile::Error, error);
    QCOMPARE(NameFile::decode(bytes).error, error);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(NameFile::read(buffer).error, error);
}

void tst_NameFile::encode()
{
    QStringList names = defaultNames();
    names[0] = QString::fromUtf8("Grün");
    names[1] = QString();
    names[2] = QStringLiteral("two\nlines");
    // Pasted into the editor: a NUL would make the file binary.
    names[3] = QStringLiteral("nul") + QChar(0) + QStringLiteral("esc\x1B\ttab");
    // DEL and C1 controls too (U+0085 is a line break to some editors).
    names[4] = QStringLiteral("del") + QChar(0x7F) + QStringLiteral("nel") + QChar(0x85);
    const QByteArray bytes = NameFile::encode(names);
    QVERIFY(bytes.startsWith("Gr\xC3\xBCn\r\n\r\ntwo lines\r\nnul esc \ttab\r\ndel nel \r\nShow 6\r\n"));
    QVERIFY(bytes.endsWith("Show 127\r\nShow 128\r\n"));
    QCOMPARE(bytes.count("\r\n"), 128);
    QCOMPARE(bytes.count('\n'), 128);
    QCOMPARE(NameFile::decode(bytes).names.size(), 128);
    // Whatever loads, saves and loads again, also at the longest.
    const QStringList longest(128, QString(NameFile::maxNameLength, QChar(0x20AC)));
    QCOMPARE(NameFile::decode(NameFile::encode(longest)).names, longest);
    QCOMPARE(NameFile::firstTooLong(longest), -1);
    QStringList tooLong = longest;
    tooLong[9] += QLatin1Char('x');
    QCOMPARE(NameFile::firstTooLong(tooLong), 9);
    // Fewer names still give 128 lines.
    QCOMPARE(NameFile::encode({ "only" }), QByteArray("only\r\n") + QByteArray("\r\n").repeated(127));
}

void tst_NameFile::init()
{
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mDir = std::make_unique<QTemporaryDir>();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
}

void tst_NameFile::cleanup()
{
    mWindow.reset();
    mDir.reset();
    mPty.reset();
    mSettings.reset();
}

void tst_NameFile::startWindow()
{
    mWindow = std::make_unique<LumivaneMainWindow>();
    mWindow->show();
}

void tst_NameFile::setNames(const QStringList &names)
{
    for (int id = 0; id < 128; ++id)
        mWindow->setShowName(id, names.at(id));
}

QString tst_NameFile::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = mDir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void tst_NameFile::saveThenLoadRoundTrip()
{
    startWindow();
    QStringList names = defaultNames();
    names[0] = QStringLiteral("  Opening  act ");
    names[1] = QString();
    names[2] = QStringLiteral("R&B Medley");
    names[3] = QStringLiteral("Rock & Roll");
    names[36] = QString::fromUtf8("Grün – 日本");
    names[127] = QStringLiteral("Finale");
    setNames(names);

    // Saved under a name without extension: ".txt" is added, the name is
    // carried in full, and it becomes the last file.
    ModalAnswerer answerer;
    QStringList filters;
    const QString typed = mDir->filePath(QString::fromUtf8("Bühne – 日本"));
    const QString saved = typed + ".txt";
    answerer.then(chooseFile(typed, &filters));
    mWindow->fileSaveAction->trigger();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].title, QStringLiteral("Choose a show name file"));
    QCOMPARE(filters, QStringList({ "Show Name Text Files (*.txt)", "All Files (*.*)" }));

    QByteArray expected;
    for (const QString &name : names)
        expected += name.toUtf8() + "\r\n";
    QCOMPARE(contents(saved), expected);
    QCOMPARE(mSettings->stored("lastFile").toString(), saved);
    QCOMPARE(mWindow->statusBar()->currentMessage(),
             QString::fromUtf8("Saved 128 show names to Bühne – 日本.txt"));
    QVERIFY(!QFile::exists(typed));

    setNames(defaultNames());
    answerer.then(chooseFile(saved));
    mWindow->fileLoadAction->trigger();
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen[1].title, QStringLiteral("Choose a show name file"));
    QCOMPARE(showNames(*mWindow), names);
    // An "&" shows as written and is no Alt shortcut that starts the show.
    QCOMPARE(showButton(*mWindow, 2)->text(), QStringLiteral("R&&B Medley"));
    QCOMPARE(showButton(*mWindow, 2)->toolTip(), names[2]);
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    // Away from the selector that has the focus at start, which takes Space
    // whatever the modifiers.
    mWindow->mBrightSlider->setFocus();
    QTest::keyClick(mWindow->windowHandle(), Qt::Key_B, Qt::AltModifier);
    QTest::keyClick(mWindow->windowHandle(), Qt::Key_Space, Qt::AltModifier);

    // Cancelling either dialog does nothing.
    answerer.then(chooseFile(QString())).then(chooseFile(QString()));
    mWindow->fileLoadAction->trigger();
    mWindow->fileSaveAction->trigger();
    QCOMPARE(answerer.seen.size(), 4);
    QCOMPARE(showNames(*mWindow), names);

    // Offered again at the next start.
    mWindow.reset();
    answerer.then(ModalAnswerer::click("Yes"));
    startWindow();
    QCOMPARE(answerer.seen.constLast().text, QStringLiteral("Read show name file\n") + saved);
    QCOMPARE(showNames(*mWindow), names);
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_NameFile::loadingPartialAndEmptyFiles()
{
    startWindow();
    ModalAnswerer answerer;
    const QString three = writeFile("three.txt", "One\r\n\r\nThree");
    answerer.then(chooseFile(three));
    mWindow->fileLoadAction->trigger();
    QStringList expected = defaultNames();
    expected[0] = "One";
    expected[1] = "";
    expected[2] = "Three";
    QCOMPARE(showNames(*mWindow), expected);
    QCOMPARE(mSettings->stored("lastFile").toString(), three);
    QCOMPARE(mWindow->statusBar()->currentMessage(), QStringLiteral("Loaded 3 show names from three.txt"));

    const QString empty = writeFile("empty.txt", "");
    answerer.then(chooseFile(empty));
    mWindow->fileLoadAction->trigger();
    QCOMPARE(showNames(*mWindow), expected);
    QCOMPARE(mSettings->stored("lastFile").toString(), empty);
    QCOMPARE(mWindow->statusBar()->currentMessage(),
             QStringLiteral("empty.txt holds no show names; the names are unchanged"));
    QCOMPARE(answerer.seen.size(), 2);
}

void tst_NameFile::appendedTxtAsksBeforeReplacing()
{
    startWindow();
    const QString old = writeFile("shows.txt", "Old names\r\n");
    mSettings->store("lastFile", QStringLiteral("/elsewhere.txt"));
    ModalAnswerer answerer;

    answerer.then(chooseFile(mDir->filePath("shows"))).then(ModalAnswerer::click("No"));
    mWindow->fileSaveAction->trigger();
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen[1].text, old + QStringLiteral(" already exists.\nDo you want to replace it?"));
    QCOMPARE(contents(old), QByteArray("Old names\r\n"));
    QCOMPARE(mSettings->stored("lastFile").toString(), QStringLiteral("/elsewhere.txt"));

    answerer.then(chooseFile(mDir->filePath("shows"))).then(ModalAnswerer::click("Yes"));
    mWindow->fileSaveAction->trigger();
    QCOMPARE(answerer.seen.size(), 4);
    QCOMPARE(contents(old), NameFile::encode(defaultNames()));
    QCOMPARE(mSettings->stored("lastFile").toString(), old);

    // An upper-case extension is kept as it is; "shows.text" gets ".txt".
    answerer.then(chooseFile(mDir->filePath("LOUD.TXT"))).then(chooseFile(mDir->filePath("shows.text")));
    mWindow->fileSaveAction->trigger();
    mWindow->fileSaveAction->trigger();
    QVERIFY(QFile::exists(mDir->filePath("LOUD.TXT")));
    QVERIFY(QFile::exists(mDir->filePath("shows.text.txt")));
    QCOMPARE(answerer.seen.size(), 6);
}

void tst_NameFile::failedLoadChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    // Opening a named pipe would wait for a writer forever.
    QTest::newRow("named pipe") << "fifo" << "Could not open file\n";
    QTest::newRow("binary") << "binary" << "Not a show name file\n";
    QTest::newRow("huge without line end") << "huge" << "Not a show name file\n";
}

void tst_NameFile::failedLoadChangesNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);

    QString path;
    if (kind == "fifo") {
        path = mDir->filePath("pipe.txt");
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (kind == "binary") {
        path = writeFile("binary.txt", QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
    } else if (kind == "huge") {
        // Sparse: four gigabytes that take no room on disk.
        path = writeFile("huge.txt", "x");
        QFile file(path);
        QVERIFY(file.resize(qint64(4) << 30));
        // Text at the start, so it is refused for its length, not for NULs.
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write(QByteArray(1 << 20, 'y')), qint64(1 << 20));
    }

    startWindow();
    QStringList before = defaultNames();
    before[5] = QStringLiteral("Kept");
    setNames(before);
    mSettings->store("lastFile", QStringLiteral("/kept.txt"));

    ModalAnswerer answerer;
    answerer.then(chooseFile(path));
    answerer.then(ModalAnswerer::click("OK"));
    QElapsedTimer clock;
    clock.start();
    mWindow->fileLoadAction->trigger();
    QTRY_COMPARE(answerer.seen.size(), 2);
    QVERIFY2(clock.elapsed() < 2000, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(answerer.seen[1].title, QStringLiteral("File Error"));
    QCOMPARE(answerer.seen[1].text, text + path);
    QCOMPARE(showNames(*mWindow), before);
    QCOMPARE(mSettings->stored("lastFile").toString(), QStringLiteral("/kept.txt"));

    // Nor did it become the last file in memory: a later settings write
    // would still store what was there before.
    answerer.then(chooseFile(writeFile("good.txt", "Good\r\n")));
    mWindow->fileLoadAction->trigger();
    QCOMPARE(showButton(*mWindow, 0)->text(), QStringLiteral("Good"));
}

void tst_NameFile::tooLongNameIsNotSaved()
{
    startWindow();
    const QString old = writeFile("shows.txt", "Old\r\n");
    mSettings->store("lastFile", QStringLiteral("/kept.txt"));
    // Pasted into the editor, say: a file holding it would not load again.
    mWindow->setShowName(9, QString(NameFile::maxNameLength + 1, QLatin1Char('n')));
    ModalAnswerer answerer;
    answerer.then(chooseFile(old)).then(ModalAnswerer::click("Yes")).then(ModalAnswerer::click("OK"));
    mWindow->fileSaveAction->trigger();
    QTRY_COMPARE(answerer.seen.size(), 3);
    QCOMPARE(answerer.seen[2].title, QStringLiteral("File Error"));
    QCOMPARE(answerer.seen[2].text, QStringLiteral("Could not save file\n") + old);
    QVERIFY(answerer.seen[2].informativeText.contains(QStringLiteral("show 10")));
    QCOMPARE(contents(old), QByteArray("Old\r\n"));
    QCOMPARE(mSettings->stored("lastFile").toString(), QStringLiteral("/kept.txt"));
}

void tst_NameFile::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder cannot be written") << "read-only";
    QTest::newRow("disk full") << "full";
    QTest::newRow("file size limit") << "fsize";
}

void tst_NameFile::failedSaveKeepsTheOldFile()
{
    QFETCH(QString, kind);
    QString folder = mDir->filePath("target");
    QVERIFY(QDir().mkdir(folder));
    const QByteArray oldBytes("Old\r\nnames\r\n");
    bool mounted = false;
    rlimit oldLimit {};

    if (kind == "read-only" || kind == "full") {
        // Root ignores permission bits; a mount in the launcher's private
        // namespace makes the failure real for everyone.
        if (!qEnvironmentVariableIsSet("LUMIVANE_ISOLATED") || geteuid() != 0)
            QSKIP("needs the private mount namespace of the test launcher, as root");
        QVERIFY(mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0);
        mounted = true;
    }
    const QString path = QDir(folder).filePath("shows.txt");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(oldBytes);
    }
    if (kind == "read-only") {
        QVERIFY(mount(nullptr, folder.toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    } else if (kind == "full") {
        QFile filler(QDir(folder).filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'f')) > 0 && filler.flush()) { }
    } else {
        // The write goes past the allowed file size and fails (EFBIG).
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &oldLimit);
        rlimit small = oldLimit;
        small.rlim_cur = 100;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    }

    startWindow();
    mSettings->store("lastFile", QStringLiteral("/kept.txt"));
    ModalAnswerer answerer;
    answerer.then(chooseFile(path)).then(ModalAnswerer::click("Yes")).then(ModalAnswerer::click("OK"));
    mWindow->fileSaveAction->trigger();
    QTRY_COMPARE(answerer.seen.size(), 3);

    if (kind == "fsize")
        setrlimit(RLIMIT_FSIZE, &oldLimit);
    const QStringList leftOver = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    const QByteArray now = contents(path);
    if (mounted)
        umount2(folder.toLocal8Bit().constData(), MNT_DETACH);

    QCOMPARE(answerer.seen[2].title, QStringLiteral("File Error"));
    QCOMPARE(answerer.seen[2].text, QStringLiteral("Could not save file\n") + path);
    QVERIFY2(!answerer.seen[2].informativeText.isEmpty(), "no reason given");
    QCOMPARE(now, oldBytes);
    QCOMPARE(mSettings->stored("lastFile").toString(), QStringLiteral("/kept.txt"));
    // No half-written temporary file is left behind either.
    for (const QString &name : leftOver)
        QVERIFY2(name == "shows.txt" || name == "filler", qPrintable(name));
}

void tst_NameFile::startUpOffersTheLastFile_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("firstName");

    QTest::newRow("yes loads it") << "names.txt" << "Yes" << QStringList({ "Read show name file\n%1" }) << "Loaded";
    QTest::newRow("no loads nothing") << "names.txt" << "No" << QStringList({ "Read show name file\n%1" }) << "Show 1";
    QTest::newRow("file gone") << "gone.txt" << "Yes"
                               << QStringList({ "Read show name file\n%1", "Could not open file\n%1" }) << "Show 1";
    QTest::newRow("empty name asks nothing") << "" << "" << QStringList() << "Show 1";
}

void tst_NameFile::startUpOffersTheLastFile()
{
    QFETCH(QString, stored);
    QFETCH(QString, answer);
    QFETCH(QStringList, boxes);
    QFETCH(QString, firstName);

    writeFile("names.txt", "Loaded\r\n");
    const QString path = stored.isEmpty() ? QString("") : mDir->filePath(stored);
    mSettings->store("lastFile", path);

    ModalAnswerer answerer;
    if (!answer.isEmpty())
        answerer.then(ModalAnswerer::click(answer));
    answerer.then(ModalAnswerer::click("OK"));
    startWindow();
    QCOMPARE(answerer.seen.size(), boxes.size());
    for (int i = 0; i < boxes.size(); ++i) {
        QCOMPARE(answerer.seen[i].text, boxes[i].arg(path));
        QVERIFY2(!answerer.seen[i].ownerVisible, "asked after the window was shown");
    }
    if (!boxes.isEmpty())
        QCOMPARE(answerer.seen[0].title, QStringLiteral("Lumivane"));
    QCOMPARE(showButton(*mWindow, 0)->text(), firstName);
    // The stored value stands until the next settings write.
    QCOMPARE(mSettings->stored("lastFile").toString(), path);
}

void tst_NameFile::decliningKeepsTheLastFile_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("No") << "No";
    QTest::newRow("Escape") << "";
}

void tst_NameFile::decliningKeepsTheLastFile()
{
    QFETCH(QString, answer);
    const QString names = writeFile("names.txt", "Loaded\r\n");
    mSettings->store("lastFile", names);
    ModalAnswerer answerer;
    answerer.then(answer.isEmpty() ? ModalAnswerer::reject() : ModalAnswerer::click(answer));
    startWindow();

    // Choosing a port stores the port only; the next start asks again.
    answerer.then([](QWidget *w) { static_cast<QDialog *>(w)->accept(); });
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(mSettings->stored("lastFile").toString(), names);
    mWindow.reset();
    answerer.then(ModalAnswerer::click("No"));
    startWindow();
    QCOMPARE(answerer.seen.size(), 3);
    QCOMPARE(answerer.seen[2].text, "Read show name file\n" + names);
}

void tst_NameFile::twoCopiesKeepEachOthersChoice()
{
    REQUIRE_COVERED_PORTS();
    ModalAnswerer answerer;
    startWindow();
    // The second copy finds the port held by the first.
    answerer.then(ModalAnswerer::click("OK"));
    LumivaneMainWindow second;
    QCOMPARE(answerer.seen.size(), 1);

    answerer.then([](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        if (dialog)
            dialog->setTextValue(QStringLiteral("COM2"));
        static_cast<QDialog *>(w)->accept();
    });
    answerer.then(ModalAnswerer::click("OK"));
    mWindow->fileSetupAction->trigger();
    QCOMPARE(answerer.seen.size(), 3);

    // The second copy saving names stores its file, not its older port.
    const QString saved = mDir->filePath("second.txt");
    answerer.then(chooseFile(saved));
    second.fileSaveAction->trigger();
    QCOMPARE(answerer.seen.size(), 4);
    QCOMPARE(mSettings->stored("serialPort").toString(), QStringLiteral("COM2"));
    QCOMPARE(mSettings->stored("lastFile").toString(), saved);
}

QTEST_MAIN(tst_NameFile)
#include "tst_namefile.moc"
