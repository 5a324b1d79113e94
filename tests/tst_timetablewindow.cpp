// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/commands.h"
#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "window/dialogs/timetabledialog.h"
#include "testsupport.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimeZone>

#include <memory>

#include <sys/stat.h>

// The timetable in the window: what it shows of the entries, what they send
// on a real line, and the editor, with the panel's clock moved by the test.
class tst_TimetableWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void entryFiresOnceThroughTheQueue();
    void putInForceFiresNothingPassed_data();
    void putInForceFiresNothingPassed();
    void fifoRefused();
    void askAtStartOffLoadsTheNamesQuietly();
    void savingFromTheEditor_data();
    void savingFromTheEditor();

private:
    void writeTimetable(const QByteArray &text);
    void startWindow();
    // The window's timetable clock, from now on read from mNow.
    void takeTheClock();

    std::unique_ptr<QTemporaryDir> mData;
    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<ModalAnswerer> mAnswerer;
    std::unique_ptr<LumivaneMainWindow> mWindow;
    QString mFile;
    QDateTime mNow;
};

namespace {

// "daily HH:MM:SS" for the wall-clock time `seconds` from now.
QByteArray dailyAt(qint64 seconds, const QByteArray &action)
{
    return "daily " + QTime::currentTime().addSecs(int(seconds)).toString(QStringLiteral("HH:mm:ss")).toLatin1()
        + ' ' + action + '\n';
}

} // namespace

void tst_TimetableWindow::init()
{
    mData = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", mData->path().toLocal8Bit());
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mSettings->store(QStringLiteral("serialPort"), QString::fromLocal8Bit(mPty->slavePath));
    mFile = mData->filePath(QStringLiteral("gallery.txt"));
    mSettings->store(QStringLiteral("timetable/file"), mFile);
    mSettings->store(QStringLiteral("timetable/enabled"), true);
    mAnswerer = std::make_unique<ModalAnswerer>();
}

void tst_TimetableWindow::cleanup()
{
    mWindow.reset();
    mAnswerer.reset();
    mPty.reset();
    mSettings.reset();
    mData.reset();
}

void tst_TimetableWindow::writeTimetable(const QByteArray &text)
{
    QFile file(mFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

void tst_TimetableWindow::startWindow()
{
    mWindow = std::make_unique<LumivaneMainWindow>();
    // Room for the whole of the last command beside the next action.
    mWindow->resize(1400, mWindow->height());
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
}

void tst_TimetableWindow::takeTheClock()
{
    mNow = QDateTime::currentDateTimeUtc();
    mWindow->panel().timetableClock().setClock([this] { return mNow; }, [] { return QTimeZone::systemTimeZone(); });
}

void tst_TimetableWindow::entryFiresOnceThroughTheQueue()
{
    // Yesterday's would be caught up.
    mSettings->store(QStringLiteral("timetable/catchUp"), false);
    writeTimetable("# gallery\n" + dailyAt(3600, "show 12  # doors open"));
    startWindow();
    takeTheClock();
    QCOMPARE(mPty->read(), QByteArray());

    mWindow->setShowName(11, QStringLiteral("Vernissage"));
    auto *next = mWindow->findChild<QLabel *>(QStringLiteral("next"));
    QVERIFY(next && next->isVisible());
    // Named as the last command names it.
    QVERIFY2(next->text().startsWith(QStringLiteral("Next: Show 12 · Vernissage · ")), qPrintable(next->text()));

    mNow = mNow.addSecs(3601);
    mWindow->panel().timetableClock().check();
    QCOMPARE(mPty->read(), Commands::startShow(11));
    QVERIFY(showButton(*mWindow, 11)->isChecked());
    const QString line = mWindow->findChild<QLabel *>(QStringLiteral("lastCommand"))->text();
    QVERIFY2(line.startsWith(QStringLiteral("Sent: Show 12 · Vernissage · ")), qPrintable(line));
    QVERIFY2(line.endsWith(QStringLiteral(" (timetable)")), qPrintable(line));
    QVERIFY(mAnswerer->seen.isEmpty());
}

void tst_TimetableWindow::putInForceFiresNothingPassed_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("saved from the editor") << "save";
    QTest::newRow("switched on in the editor") << "switch";
}

// An entry a minute past today is not sent by putting the timetable in
// force; only catch-up, off here, could send it.
void tst_TimetableWindow::putInForceFiresNothingPassed()
{
    QFETCH(QString, how);
    mSettings->store(QStringLiteral("timetable/catchUp"), false);
    if (how == "switch")
        mSettings->store(QStringLiteral("timetable/enabled"), false);
    writeTimetable(dailyAt(-60, "show 5") + dailyAt(3600, "show 6"));
    startWindow();
    QVERIFY(mWindow->findChild<QLabel *>(QStringLiteral("next"))->isVisible() == (how != "switch"));
    mAnswerer->then([&](QWidget *widget) {
        auto *dialog = static_cast<TimetableDialog *>(widget);
        dialog->setRunning(true);
        dialog->accept();
    });
    mWindow->fileTimetableAction->trigger();
    QCOMPARE(mAnswerer->seen.size(), 1);
    QVERIFY(mWindow->findChild<QLabel *>(QStringLiteral("next"))->isVisible());
    QCOMPARE(mSettings->stored(QStringLiteral("timetable/enabled")).toString(), QStringLiteral("true"));
    QCOMPARE(mPty->read(100), QByteArray());
}

// Not a regular file: refused at once, and the window comes up.
void tst_TimetableWindow::fifoRefused()
{
    QVERIFY(::mkfifo(QFile::encodeName(mFile).constData(), 0600) == 0);
    startWindow();
    QLabel *mark = mWindow->findChild<QLabel *>(QStringLiteral("timetableMark"));
    QVERIFY(mark && mark->isVisible());
    QVERIFY2(mark->text().startsWith(QStringLiteral("Timetable: Not a regular file")), qPrintable(mark->text()));
}

// Unattended: with the question switched off the names come in at start,
// and nothing waits for an answer.
void tst_TimetableWindow::askAtStartOffLoadsTheNamesQuietly()
{
    const QString names = mData->filePath(QStringLiteral("names.txt"));
    QFile file(names);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Vernissage\r\n");
    file.close();
    mSettings->store(QStringLiteral("lastFile"), names);
    mSettings->store(QStringLiteral("names/askAtStart"), false);
    mSettings->store(QStringLiteral("timetable/enabled"), false);
    startWindow();
    QVERIFY(mAnswerer->seen.isEmpty());
    QCOMPARE(showButton(*mWindow, 0)->text(), QStringLiteral("Vernissage"));
}

void tst_TimetableWindow::savingFromTheEditor_data()
{
    QTest::addColumn<QString>("stored"); // timetable/file before; empty: none
    QTest::addColumn<QByteArray>("before"); // the stored file's bytes; empty: none there
    QTest::addColumn<QString>("atWarning"); // the answer to the bad file's warning
    QTest::addColumn<bool>("sendNow"); // the new entry sent from the editor
    // The boxes after the editor's OK, in order: "file:NAME" answers a file
    // dialog (no name cancels it), anything else clicks that button. When
    // the editor stays open after OK, its window's close button is used,
    // which asks only then.
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("saved"); // the file the plan is in then; empty: none
    QTest::newRow("the first save asks for a file")
        << "" << QByteArray() << "" << false << QStringList { "file:chosen.txt" } << "chosen.txt";
    QTest::newRow("asked and cancelled, the editor stays; dropped")
        << "" << QByteArray() << "" << false << QStringList { "file:", "Discard" } << "";
    QTest::newRow("asked and cancelled, then saved on closing")
        << "" << QByteArray() << "" << false << QStringList { "file:", "Save", "file:chosen.txt" }
        << "chosen.txt";
    QTest::newRow("a save that fails keeps the editor open")
        << "missing/gallery.txt" << QByteArray() << "" << false << QStringList { "OK", "Discard" } << "";
    const QByteArray bad = "daily 20:00 show 3\nMon-Fri 25:00 off\n";
    QTest::newRow("a bad file is kept unless told") << "bad.txt" << bad << "Cancel" << false << QStringList() << "";
    QTest::newRow("a bad file replaced when told")
        << "bad.txt" << bad << "Open the Editor" << false << QStringList() << "bad.txt";
    QTest::newRow("Send Now goes out as a click")
        << "" << QByteArray() << "" << true << QStringList { "file:chosen.txt" } << "chosen.txt";
}

// Saved whole and only then in force; whatever stops the save leaves the
// editor open with the plan as typed, and the settings and the running
// timetable as they were.
void tst_TimetableWindow::savingFromTheEditor()
{
    QFETCH(QString, stored);
    QFETCH(QByteArray, before);
    QFETCH(QString, atWarning);
    QFETCH(bool, sendNow);
    QFETCH(QStringList, answers);
    QFETCH(QString, saved);
    const QString storedPath = stored.isEmpty() ? QString() : mData->filePath(stored);
    const QString savedPath = saved.isEmpty() ? QString() : mData->filePath(saved);
    if (!before.isEmpty()) {
        QFile file(storedPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    mSettings->store(QStringLiteral("timetable/file"), storedPath);
    mSettings->store(QStringLiteral("timetable/enabled"), false);
    mSettings->store(QStringLiteral("timetable/catchUp"), false);
    startWindow();

    int boxes = 0;
    if (!atWarning.isEmpty()) {
        mAnswerer->then(ModalAnswerer::click(atWarning));
        ++boxes;
    }
    if (atWarning != QStringLiteral("Cancel")) {
        mAnswerer->then([&](QWidget *widget) {
            auto *dialog = static_cast<TimetableDialog *>(widget);
            // Typed in as the operator does: Add opens the first cell, Tab
            // takes what was typed and opens the next.
            dialog->findChild<QPushButton *>(QStringLiteral("addEntry"))->click();
            auto *entries = dialog->findChild<QWidget *>(QStringLiteral("entries"));
            for (const char *text : { "weekdays", "20:00", "show 12", "vernissage" }) {
                QLineEdit *editor = nullptr;
                for (QLineEdit *field : entries->findChildren<QLineEdit *>()) {
                    if (field->isVisible())
                        editor = field;
                }
                QVERIFY(editor);
                editor->setText(QString::fromLatin1(text));
                QTest::keyClick(editor, Qt::Key_Tab);
            }
            dialog->setRunning(true);
            dialog->setLoadNamesWithoutAsking(true);
            dialog->setCatchUp(Timetable::CatchUp::Off);
            if (sendNow)
                dialog->findChild<QPushButton *>(QStringLiteral("sendNow"))->click();
            dialog->accept();
            if (dialog->isVisible())
                dialog->close();
        });
        ++boxes;
        for (const QString &answer : std::as_const(answers)) {
            mAnswerer->then(answer.startsWith(QStringLiteral("file:"))
                                ? chooseFile(answer.mid(5).isEmpty() ? QString() : mData->filePath(answer.mid(5)))
                                : ModalAnswerer::click(answer));
            ++boxes;
        }
    }
    mWindow->fileTimetableAction->trigger();
    QTRY_COMPARE(mAnswerer->seen.size(), boxes);
    if (!atWarning.isEmpty()) {
        QVERIFY2(mAnswerer->seen[0].text.contains(QStringLiteral("line 2")), qPrintable(mAnswerer->seen[0].text));
        QCOMPARE(mAnswerer->seen[0].informativeText,
                 QStringLiteral("The editor shows an empty timetable. Saving it there replaces the file."));
    } else if (!storedPath.isEmpty()) {
        QCOMPARE(mAnswerer->seen[1].text, QStringLiteral("Could not save the timetable\n") + storedPath);
        QVERIFY(!mAnswerer->seen[1].informativeText.isEmpty());
    }
    if (answers.contains(QStringLiteral("Discard")))
        QCOMPARE(mAnswerer->seen.last().text, QStringLiteral("The timetable has changed. Save it?"));

    auto *next = mWindow->findChild<QLabel *>(QStringLiteral("next"));
    QCOMPARE(next->isVisible(), !saved.isEmpty());
    QCOMPARE(mSettings->stored(QStringLiteral("timetable/enabled")).toString(),
             saved.isEmpty() ? QStringLiteral("false") : QStringLiteral("true"));
    QCOMPARE(mSettings->stored(QStringLiteral("timetable/catchUp")).toString(),
             saved.isEmpty() ? QStringLiteral("false") : QStringLiteral("off"));
    QCOMPARE(mSettings->stored(QStringLiteral("names/askAtStart")).toString(),
             saved.isEmpty() ? QString() : QStringLiteral("false"));
    if (saved.isEmpty() && !before.isEmpty()) {
        QFile file(storedPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
    if (!saved.isEmpty()) {
        QFile file(savedPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("weekdays 20:00 show 12  # vernissage\n"));
        QCOMPARE(mSettings->stored(QStringLiteral("timetable/file")).toString(), savedPath);
        QVERIFY2(next->text().startsWith(QStringLiteral("Next: Show 12 · ")), qPrintable(next->text()));
    }
    QCOMPARE(mPty->read(), sendNow ? Commands::startShow(11) : QByteArray());
}

QTEST_MAIN(tst_TimetableWindow)
#include "tst_timetablewindow.moc"
