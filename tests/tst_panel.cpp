// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "journal/journal.h"
#include "link/commands.h"
#include "link/linkstate.h"
#include "panel/panel.h"
#include "portowner/portowner.h"
#include "remote/textcommand.h"
#include "pty.h"
#include "remotepeer.h"
#include "temporarysettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <time.h>

Q_DECLARE_METATYPE(Source)

namespace {

// "daily HH:MM:SS" for the wall-clock time `seconds` from now.
QByteArray dailyAt(qint64 seconds, const QByteArray &action)
{
    return "daily " + QTime::currentTime().addSecs(int(seconds)).toString(QStringLiteral("HH:mm:ss")).toLatin1()
        + ' ' + action + '\n';
}

// Descriptors of this process open on the device: a closed master takes the
// slave's name away, but not its device number.
int descriptorsOn(dev_t device)
{
    int count = 0;
    for (const QString &fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System)) {
        struct stat st {};
        count += fstat(fd.toInt(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device;
    }
    return count;
}

double cpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// What a spy on Panel::message heard.
QStringList texts(const QSignalSpy &messages)
{
    QStringList said;
    for (const QList<QVariant> &message : messages)
        said << message.at(0).toString();
    return said;
}

// The journal's newest records, oldest first.
QList<JournalRecord> journalled(int count = 1)
{
    QList<JournalRecord> records = Journal().newest(count);
    std::reverse(records.begin(), records.end());
    return records;
}

} // namespace

// The program without its window, under an event loop alone: what the
// commands of every source do, read on the far side of a pseudo-terminal
// that the stored settings name as the port, in the journal, and in the
// replies of remote control.
class tst_Panel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void guard_data();
    void guard();
    void remoteReplies_data();
    void remoteReplies();
    void refusedForWantOfAPort_data();
    void refusedForWantOfAPort();
    void remoteRefusalsJournalled_data();
    void remoteRefusalsJournalled();
    void switchesAreReadStrictly_data();
    void switchesAreReadStrictly();
    void journalUnwritableToldOnce();
    void portHeldByAnotherLumivane();
    void lostAdapterHeals_data();
    void lostAdapterHeals();
    void endingOnAStalledLine_data();
    void endingOnAStalledLine();

    void timetableEntryFiresOnce();
    void catchUpAtStart_data();
    void catchUpAtStart();
    void badTimetableKeepsTheOldOne();
    void dueTogetherEachJournalled();

private:
    void start();
    void writeTimetable(const QByteArray &text);
    // The timetable switched on, its file written unless text is null;
    // catchUp as stored, if valid.
    void storeTimetable(const QByteArray &text, const QVariant &catchUp = {});
    // The timetable's clock, from now on read from mNow.
    void takeTheClock(const QTimeZone &zone = QTimeZone::systemTimeZone());
    QString port() const { return QString::fromLocal8Bit(mPty->slavePath); }

    std::unique_ptr<QTemporaryDir> mData;
    std::unique_ptr<TemporarySettings> mSettings;
    std::unique_ptr<Pty> mPty;
    std::unique_ptr<Panel> mPanel;
    QString mTimetable;
    QDateTime mNow;
};

void tst_Panel::init()
{
    // The journal, the record of what went out and the timetable's last good
    // copy start afresh for each test.
    mData = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", mData->path().toLocal8Bit());
    mSettings = std::make_unique<TemporarySettings>();
    mPty = std::make_unique<Pty>();
    mSettings->store(QStringLiteral("serialPort"), port());
    mTimetable = mData->filePath(QStringLiteral("gallery.txt"));
}

void tst_Panel::cleanup()
{
    mPanel.reset();
    mPty.reset();
    mSettings.reset();
    mData.reset();
}

void tst_Panel::start()
{
    mPanel = std::make_unique<Panel>();
    mPanel->start();
}

void tst_Panel::writeTimetable(const QByteArray &text)
{
    QFile file(mTimetable);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

void tst_Panel::storeTimetable(const QByteArray &text, const QVariant &catchUp)
{
    if (!text.isNull())
        writeTimetable(text);
    mSettings->store(QStringLiteral("timetable/file"), mTimetable);
    mSettings->store(QStringLiteral("timetable/enabled"), true);
    if (catchUp.isValid())
        mSettings->store(QStringLiteral("timetable/catchUp"), catchUp);
}

void tst_Panel::takeTheClock(const QTimeZone &zone)
{
    mNow = QDateTime::currentDateTimeUtc();
    mPanel->timetableClock().setClock([this] { return mNow; }, [zone] { return zone; });
}

void tst_Panel::guard_data()
{
    QTest::addColumn<Source>("source"); // of both starts of show 12
    QTest::addColumn<int>("laterMs");   // the second start after the first
    QTest::addColumn<bool>("off");      // Off went out just before the second start
    QTest::addColumn<QByteArray>("reply"); // to the second start, in remote control's words

    const Source mouse = Source::hand(QStringLiteral("mouse"));
    const Source key = Source::hand(QStringLiteral("key"));
    const Source timetable = Source::timetable(4, {}, false);
    const Source remote = Source::remote(QStringLiteral("192.0.2.7"));
    const QByteArray sent = "ok show 12";
    // Guarded for 300 ms; show 13 is started in between.
    QTest::newRow("mouse, 0.2 s later") << mouse << 200 << false << QByteArray("error: show 12 was started 0.2 s ago");
    QTest::newRow("mouse, just under") << mouse << 299 << false << QByteArray("error: show 12 was started 0.3 s ago");
    QTest::newRow("mouse, at the time") << mouse << 300 << false << sent;
    QTest::newRow("key, just under") << key << 299 << false << QByteArray("error: show 12 was started 0.3 s ago");
    QTest::newRow("key, just over") << key << 301 << false << sent;
    QTest::newRow("timetable, just under") << timetable << 240 << false
                                           << QByteArray("error: show 12 was started 0.2 s ago");
    QTest::newRow("timetable, at the time") << timetable << 300 << false << sent;
    QTest::newRow("remote, 0.2 s later") << remote << 200 << false << QByteArray("error: show 12 was started 0.2 s ago");
    // A start after Off is a new one, however soon.
    QTest::newRow("mouse, after Off") << mouse << 200 << true << sent;
    QTest::newRow("timetable, after Off") << timetable << 100 << true << sent;
    QTest::newRow("remote, after Off") << remote << 100 << true << sent;
}

// A repeated start is ignored from every source, and never silently: the
// sender is told why, a passing message and the journal say so, and the
// show a grid marks stays the one the player got last. What does go out is
// journalled with who chose it.
void tst_Panel::guard()
{
    QFETCH(Source, source);
    QFETCH(int, laterMs);
    QFETCH(bool, off);
    QFETCH(QByteArray, reply);

    mSettings->store(QStringLiteral("operation/repeatGuardMs"), 300);
    start();
    qint64 now = 1000000;
    mPanel->monotonicMs = [&now] { return now; };
    const auto start12 = [&] {
        if (source.kind == Source::Kind::Remote)
            return mPanel->runRemote({ RemoteCommand::Kind::Show, 12 }, source.peer);
        const Outcome outcome = mPanel->dispatch(Command::show(12), source);
        return outcome.queued() ? QByteArray("ok show 12") : "error: " + outcome.why.toUtf8();
    };
    QCOMPARE(start12(), QByteArray("ok show 12"));
    QCOMPARE(mPty->read(), QByteArray("X040C"));
    // In the journal as soon as it is on the line, for tail -f.
    const JournalRecord sent = journalled().value(0);
    QCOMPARE(QStringList({ sent.source, sent.outcome, sent.name }), QStringList({ source.journal(), "sent", "Show 12" }));
    now += 100;
    QVERIFY(mPanel->dispatch(Command::show(13), Source::hand(QStringLiteral("mouse"))).queued());
    QCOMPARE(mPty->read(), QByteArray("X040D"));
    now += laterMs - 100;
    if (off) {
        QVERIFY(mPanel->dispatch(Command::off(), source).queued());
        QCOMPARE(mPty->read(), QByteArray("X0100"));
    }
    QSignalSpy ignored(mPanel.get(), &Panel::startIgnored);
    QSignalSpy messages(mPanel.get(), &Panel::message);
    QCOMPARE(start12(), reply);

    if (reply.startsWith("ok")) {
        QCOMPARE(mPty->read(), QByteArray("X040C"));
        QCOMPARE(mPanel->lastStarted().value_or(-1), 11);
        QCOMPARE(ignored.size(), 0);
        return;
    }
    QCOMPARE(mPty->read(), QByteArray());
    QCOMPARE(mPanel->lastStarted().value_or(-1), 12);
    QCOMPARE(ignored.size(), 1);
    QCOMPARE(ignored.at(0).at(0).toInt(), 11);
    QCOMPARE(texts(messages), QStringList { "S" + QString::fromUtf8(reply.mid(8)) + "; ignored" });
    const JournalRecord last = journalled().value(0);
    QCOMPARE(QStringList({ QString::fromLatin1(last.command), last.outcome, last.source }),
             QStringList({ "X040C", "refused: guard", source.journal() }));
    // Off is never guarded.
    QVERIFY(mPanel->dispatch(Command::off(), source).queued());
    QCOMPARE(mPty->read(), QByteArray("X0100"));
}

void tst_Panel::remoteReplies_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArrayList>("replies"); // "%1": the link's words
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("nothing sent yet") << QByteArrayList { "state" } << QByteArrayList { "ok nothing sent yet link %1" }
                                      << QByteArray();
    // What the player got, not what a view shows: Off leaves a grid on the
    // show. A brightness already there still goes out, as asked.
    QTest::newRow("a show, a brightness twice, off")
        << QByteArrayList { "show 37", "state", "brightness 49", "BRIGHTNESS 49", "state", "off", "state" }
        << QByteArrayList { "ok show 37", "ok show 37 link %1", "ok brightness 49", "ok brightness 49",
                            "ok show 37 brightness 49 link %1", "ok off", "ok off brightness 49 link %1" }
        << QByteArray("X0425X027EX027EX0100");
    QTest::newRow("the nearest control position to 54 % sends 55 %, and says so")
        << QByteArrayList { "brightness 54", "state" } << QByteArrayList { "ok brightness 55", "ok brightness 55 link %1" }
        << QByteArray("X028B");
}

void tst_Panel::remoteReplies()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArrayList, replies);
    QFETCH(QByteArray, wire);
    start();
    QByteArrayList got;
    QByteArray sent;
    for (const QByteArray &line : lines) {
        got << mPanel->runRemote(TextCommand::parse(line).command, QStringLiteral("127.0.0.1"));
        // The line takes each before the next is asked.
        sent += mPty->read();
    }
    for (QByteArray &reply : replies)
        reply.replace("%1", mPanel->link().text.toUtf8());
    QCOMPARE(got, replies);
    QCOMPARE(sent, wire);
}

// A port another Lumivane holds is not taken, and the holder is named; a
// note left by one that has ended names nobody.
void tst_Panel::portHeldByAnotherLumivane()
{
    QTemporaryDir locks;
    qputenv("LUMIVANE_LOCK_DIR", locks.path().toLocal8Bit());
    const int held = ::open(mPty->slavePath.constData(), O_RDWR | O_NOCTTY);
    QVERIFY(held >= 0 && flock(held, LOCK_EX | LOCK_NB) == 0);
    QFile note(PortOwner::notePath(port()));
    // Process 1 runs as long as the system does.
    QVERIFY(note.open(QIODevice::WriteOnly) && note.write("1\nservice\n") > 0);
    note.close();
    start();
    QVERIFY(!mPanel->portOpen());
    QVERIFY2(mPanel->whyNotOpen().endsWith(QStringLiteral(" is in use by Lumivane (service, process 1)")),
             qPrintable(mPanel->whyNotOpen()));
    mPanel.reset();

    QVERIFY(note.open(QIODevice::WriteOnly) && note.write("999999999\nservice\n") > 0);
    note.close();
    start();
    QCOMPARE(mPanel->whyNotOpen(), LinkState::whyNotOpen(SerialPort::Reason::Busy, QString()));
    ::close(held);
    qunsetenv("LUMIVANE_LOCK_DIR");
}

void tst_Panel::refusedForWantOfAPort_data()
{
    QTest::addColumn<Source>("source");
    QTest::addColumn<QByteArray>("line"); // as remote control says it
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("tip"); // beside the link; empty: only why the port is not open

    const Source remote = Source::remote(QStringLiteral("127.0.0.1"));
    const QString fromRemote = QStringLiteral("A remote command from 127.0.0.1 was refused at ");
    QTest::newRow("a click") << Source::hand(QStringLiteral("mouse")) << QByteArray("show 4") << QByteArray("X0404") << "";
    QTest::newRow("a remote show") << remote << QByteArray("show 3") << QByteArray("X0403") << fromRemote;
    QTest::newRow("a remote brightness") << remote << QByteArray("brightness 50") << QByteArray("X0280") << fromRemote;
    QTest::newRow("a remote off") << remote << QByteArray("off") << QByteArray("X0100") << fromRemote;
    QTest::newRow("a timetable entry and its note") << Source::timetable(1, QStringLiteral("doors open"), false)
                                                    << QByteArray("off") << QByteArray("X0100")
                                                    << "A command from the timetable (line 1) was refused at ";
}

// Refused, recorded with its source and note, and told: a hand at the
// window is asked to choose a port; any other source is told in its reply
// and beside the link, and never asked anything.
void tst_Panel::refusedForWantOfAPort()
{
    QFETCH(Source, source);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, tip);
    const QString gone = mData->filePath(QStringLiteral("gone"));
    mSettings->store(QStringLiteral("serialPort"), gone);
    start();
    QSignalSpy askedForAPort(mPanel.get(), &Panel::noPortForHand);
    if (source.kind == Source::Kind::Remote)
        QCOMPARE(mPanel->runRemote(TextCommand::parse(line).command, source.peer),
                 "error: serial port " + gone.toUtf8() + " is not open: " + mPanel->whyNotOpen().toUtf8());
    else
        QCOMPARE(mPanel->dispatch(*Command::fromBytes(bytes), source).refusal, Outcome::Refusal::NoPort);
    const JournalRecord record = journalled().value(0);
    QCOMPARE(QStringList({ QString::fromLatin1(record.command), record.source, record.outcome, record.note }),
             QStringList({ QString::fromLatin1(bytes), source.journal(), "refused: no port", source.note }));
    QCOMPARE(askedForAPort.size(), source.byHand() ? 1 : 0);
    QVERIFY2(tip.isEmpty() ? mPanel->linkTip() == mPanel->linkReason()
                           : mPanel->linkTip().startsWith(mPanel->linkReason() + u'\n' + tip),
             qPrintable(mPanel->linkTip()));
    QCOMPARE(mPanel->runRemote({ RemoteCommand::Kind::State, 0 }, QStringLiteral("127.0.0.1")),
             "ok nothing sent yet link Not connected: " + gone.toUtf8());
}

void tst_Panel::remoteRefusalsJournalled_data()
{
    QTest::addColumn<QByteArray>("datagram"); // empty: line goes over TCP
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("times");
    QTest::addColumn<QStringList>("outcomes"); // the journal's, oldest first

    const QString show200 = QStringLiteral("refused: show 200: a show is 1 to 128");
    QTest::newRow("brightness f 50") << msg("/lumivane/brightness", ",f", f32(50)) << QByteArray() << 1
                                     << QStringList { "refused: brightness 50: a float is a fraction of full, 0.0 to 1.0" };
    QTest::newRow("an address in the wrong case") << msg("/lumivane/Show", ",i", i32(3)) << QByteArray() << 1
                                                  << QStringList { "refused: /lumivane/Show: unknown address" };
    QTest::newRow("show s 5") << msg("/lumivane/show", ",s", str("5")) << QByteArray() << 1
                              << QStringList { "refused: /lumivane/show s: takes one number, i or f" };
    QTest::newRow("show i 200") << msg("/lumivane/show", ",i", i32(200)) << QByteArray() << 1 << QStringList { show200 };
    QTest::newRow("a text line") << QByteArray() << QByteArray("Show 200\n") << 1
                                 << QStringList { "refused: Show 200: show takes a number from 1 to 128" };
    QStringList burst(10, show200);
    burst << QStringLiteral("refused: 15 more in that second");
    QTest::newRow("25 within a second: ten, then how many more")
        << msg("/lumivane/show", ",i", i32(200)) << QByteArray() << 25 << burst;
}

// A refused message or line is recorded with its sender and why, and a
// flood of them costs the journal a few lines a second.
void tst_Panel::remoteRefusalsJournalled()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, line);
    QFETCH(int, times);
    QFETCH(QStringList, outcomes);

    const quint16 port = freePort();
    QVERIFY(port);
    mSettings->store(QStringLiteral("remote/enabled"), true);
    mSettings->store(QStringLiteral("remote/port"), port);
    start();
    QVERIFY(mPanel->remote().listening());

    QUdpSocket osc;
    QTcpSocket text;
    for (int k = 0; k < times; ++k) {
        if (datagram.isEmpty()) {
            text.connectToHost(QHostAddress::LocalHost, port);
            text.write(line);
            QVERIFY(lineReply(text).startsWith("error: "));
        } else {
            osc.writeDatagram(datagram, QHostAddress::LocalHost, port);
        }
    }
    const auto recorded = [] {
        QStringList found;
        for (const JournalRecord &record : journalled(100)) {
            if (record.source != QLatin1String("remote 127.0.0.1") || !record.command.isEmpty())
                return QStringList { record.source, QString::fromLatin1(record.command) };
            found << record.outcome;
        }
        return found;
    };
    QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), outcomes.size(), 3000);
    QTest::qWait(100);
    QCOMPARE(recorded(), outcomes);
    QCOMPARE(mPty->read(100), QByteArray());
}

void tst_Panel::switchesAreReadStrictly_data()
{
    QTest::addColumn<QByteArray>("enabled");
    QTest::addColumn<QByteArray>("others");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("message");
    QTest::newRow("as the program writes it") << QByteArray("true") << QByteArray("false") << true << QString();
    QTest::newRow("yes") << QByteArray("yes") << QByteArray("no") << true << QString();
    QTest::newRow("On in capitals") << QByteArray("On") << QByteArray("OFF") << true << QString();
    QTest::newRow("1") << QByteArray("1") << QByteArray("0") << true << QString();
    QTest::newRow("no") << QByteArray("no") << QByteArray() << false << QString();
    QTest::newRow("Off") << QByteArray("Off") << QByteArray() << false << QString();
    QTest::newRow("0") << QByteArray("0") << QByteArray() << false << QString();
    QTest::newRow("neither on nor off") << QByteArray("maybe") << QByteArray("2") << false
        << QStringLiteral("Settings: remote/enabled=maybe is not on or off; taken as off; "
                          "remote/fromOtherComputers=2 is not on or off; taken as off");
    QTest::newRow("a list") << QByteArray("yes, please") << QByteArray() << false
        << QStringLiteral("Settings: remote/enabled=yes, please is not on or off; taken as off");
}

// A file edited by hand: a plain "no" must keep remote control off, and a
// word that is neither on nor off keeps it off too, and says so.
void tst_Panel::switchesAreReadStrictly()
{
    QFETCH(QByteArray, enabled);
    QFETCH(QByteArray, others);
    QFETCH(bool, listening);
    QFETCH(QString, message);
    const quint16 port = freePort();
    QVERIFY(port);
    QDir().mkpath(QFileInfo(mSettings->fileName()).path());
    QFile file(mSettings->fileName());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\nserialPort=" + mPty->slavePath + "\n[remote]\nenabled=" + enabled
               + "\nport=" + QByteArray::number(port) + "\n");
    if (!others.isEmpty())
        file.write("fromOtherComputers=" + others + "\n");
    file.close();

    mPanel = std::make_unique<Panel>();
    QSignalSpy messages(mPanel.get(), &Panel::message);
    mPanel->start();
    QCOMPARE(texts(messages), message.isEmpty() ? QStringList() : QStringList { message });

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QCOMPARE(client.waitForConnected(2000), listening);
}

// Beneath a file no folder can be made, not even by root: told once, and the
// commands still go out.
void tst_Panel::journalUnwritableToldOnce()
{
    const QString blocker = mData->filePath(QStringLiteral("file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
    file.close();
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
    start();
    QSignalSpy messages(mPanel.get(), &Panel::message);
    for (int id : { 0, 1, 2 }) {
        QVERIFY(mPanel->dispatch(Command::show(id + 1), Source::hand(QStringLiteral("mouse"))).queued());
        QCOMPARE(mPty->read(), Commands::startShow(id));
    }
    const QStringList told = texts(messages);
    QCOMPARE(told.size(), 1);
    QVERIFY2(told[0].startsWith(QStringLiteral("The journal cannot be written: ")) && told[0].contains(blocker),
             qPrintable(told[0]));
}

void tst_Panel::lostAdapterHeals_data()
{
    QTest::addColumn<bool>("betweenActions");
    QTest::addColumn<QString>("firstMessage");
    QTest::newRow("pulled out during a show") << false << "Could not write to serial port ";
    // The port is released at once, so a real adapter gets its old name back.
    QTest::newRow("pulled out between actions") << true << "Serial port ";
}

// Said in a passing message, never by asking for a port; the show a grid
// marks stays the one the player has; plugged in again, the port is found
// by itself, nothing is replayed, and the next command goes out once.
void tst_Panel::lostAdapterHeals()
{
    QFETCH(bool, betweenActions);
    QFETCH(QString, firstMessage);
    // Reached through a symlink, as /dev/serial/by-id names are.
    const QString link = mData->filePath(QStringLiteral("adapter"));
    QVERIFY(QFile::link(port(), link));
    mSettings->store(QStringLiteral("serialPort"), link);
    start();
    QSignalSpy askedForAPort(mPanel.get(), &Panel::noPortForHand);
    QSignalSpy messages(mPanel.get(), &Panel::message);
    const auto said = [&messages] { return messages.isEmpty() ? QString() : messages.takeLast().at(0).toString(); };
    const auto click = [this](const Command &command) {
        mPanel->dispatch(command, Source::hand(QStringLiteral("mouse")));
    };
    click(Command::show(2));
    QCOMPARE(mPty->read(), QByteArray("X0402"));

    if (betweenActions) {
        // Noise from the far end is no hang-up, and the watch does not spin on it.
        QCOMPARE(::write(mPty->master, "noise", 5), ssize_t(5));
        const double cpu = cpuMs();
        QTest::qWait(200);
        QVERIFY2(cpuMs() - cpu < 100, qPrintable(QString::number(cpuMs() - cpu)));
        click(Command::show(6));
        QCOMPARE(mPty->read(), QByteArray("X0406"));
        struct stat st {};
        QCOMPARE(stat(mPty->slavePath.constData(), &st), 0);
        QCOMPARE(descriptorsOn(st.st_rdev), 1);
        QCOMPARE(mPanel->link().text, QStringLiteral("Connected: ") + link);
        mPty->closeMaster();
        QTRY_VERIFY(!messages.isEmpty());
        QCOMPARE(mPanel->link().text, QStringLiteral("Not connected: ") + link);
        QCOMPARE(descriptorsOn(st.st_rdev), 0);
    } else {
        mPty->closeMaster();
        click(Command::show(3));
    }
    QVERIFY2(said().startsWith(firstMessage + link), qPrintable(link));
    const int playing = betweenActions ? 5 : 1;
    QCOMPARE(mPanel->lastStarted().value_or(-1), playing);
    // Still gone: each use says so.
    click(Command::show(8));
    QCOMPARE(mPanel->lastStarted().value_or(-1), playing);
    QCOMPARE(said(), QStringLiteral("Could not write to serial port ") + link);
    click(Command::off());
    QCOMPARE(said(), QStringLiteral("Could not write to serial port ") + link);

    // Plugged in again under the same name: found again by itself between
    // actions, else by the next click; that click goes through, once.
    Pty replugged;
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(QString::fromLocal8Bit(replugged.slavePath), link));
    if (betweenActions)
        QTRY_COMPARE_WITH_TIMEOUT(mPanel->link().text, QStringLiteral("Connected: ") + link, 2000);
    QCOMPARE(replugged.read(), QByteArray());
    click(Command::show(4));
    QCOMPARE(replugged.read(), QByteArray("X0404"));
    click(Command::off());
    QCOMPARE(replugged.read(), QByteArray("X0100"));
    QCOMPARE(askedForAPort.size(), 0);
}

void tst_Panel::endingOnAStalledLine_data()
{
    QTest::addColumn<bool>("moves");
    QTest::newRow("the line moves again") << true;
    QTest::newRow("the line stays stalled") << false;
}

// The end of the program on a stalled line: what the line takes in time
// goes out whole, in order; what it does not is named on standard error.
void tst_Panel::endingOnAStalledLine()
{
    QFETCH(bool, moves);
    const int filler = ::open(mPty->slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(filler >= 0);
    start();
    fillTerminal(filler);
    mPanel->dispatch(Command::show(10), Source::hand(QStringLiteral("mouse")));
    mPanel->dispatch(Command::off(), Source::hand(QStringLiteral("mouse")));
    // The far end reads again with no event loop running: only the ending
    // can write what waits.
    QByteArray wire;
    if (moves) {
        for (QByteArray got = mPty->readNow(); !got.isEmpty(); got = mPty->readNow(20))
            wire += got;
    }

    QTemporaryFile errors;
    QVERIFY(errors.open());
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    ::dup2(errors.handle(), 2);
    QElapsedTimer ending;
    ending.start();
    mPanel.reset();
    const qint64 endingMs = ending.elapsed();
    std::fflush(stderr);
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    errors.seek(0);
    const QString told = QString::fromLocal8Bit(errors.readAll());
    wire += mPty->readNow(20);
    ::close(filler);

    wire.replace(".", "");
    if (moves) {
        QVERIFY2(wire.endsWith("X040AX0100"), wire.constData());
        QCOMPARE(told, QString());
    } else {
        // The first may have gone out in part before the line stopped.
        static const QRegularExpression named(QStringLiteral(
            "^lumivane: ended before the line to \\S+ took: Show 10( \\(cut off after [1-4] of its 5 bytes\\))?, Off\n$"));
        QVERIFY2(named.match(told).hasMatch(), qPrintable(told));
    }
    // Bounded by the port's own short waits, however long the stall.
    QVERIFY2(endingMs < 1000, qPrintable(QString::number(endingMs)));
}

// An entry goes out once, named as the last command names it, and a remote
// peer is told what comes next.
void tst_Panel::timetableEntryFiresOnce()
{
    const QByteArray entry = dailyAt(3600, "show 12  # doors open");
    // Yesterday's would be caught up.
    storeTimetable("# gallery\n" + entry, QStringLiteral("off"));
    start();
    takeTheClock();
    mPanel->setShowName(11, QStringLiteral("Vernissage"));
    const QByteArray state = mPanel->runRemote({ RemoteCommand::Kind::State, 0 }, QStringLiteral("127.0.0.1"));
    QVERIFY2(state.startsWith("ok nothing sent yet next show 12 ") && state.contains("T" + entry.mid(6, 8) + " link "),
             state.constData());
    QVERIFY2(mPanel->nextText().text.startsWith(QString::fromUtf8("Next: Show 12 · Vernissage · ")),
             qPrintable(mPanel->nextText().text));

    mNow = mNow.addSecs(3601);
    mPanel->timetableClock().check();
    QCOMPARE(mPty->read(), Commands::startShow(11));
    const QString line = mPanel->lastCommandLine();
    QVERIFY2(line.startsWith(QString::fromUtf8("Sent: Show 12 · Vernissage · ")) && line.endsWith(" (timetable)"),
             qPrintable(line));
    const JournalRecord record = journalled().value(0);
    QCOMPARE(QStringList({ record.source, record.outcome, record.name, record.note }),
             QStringList({ "timetable line 2", "sent", "Vernissage", "doors open" }));

    // Once: the timer and a clock set back bring nothing again.
    mPanel->timetableClock().check();
    mNow = mNow.addSecs(-10);
    mPanel->timetableClock().check(true);
    mNow = mNow.addSecs(20);
    mPanel->timetableClock().check();
    QCOMPARE(mPty->read(), QByteArray());
}

void tst_Panel::catchUpAtStart_data()
{
    QTest::addColumn<QVariant>("catchUp");
    QTest::addColumn<QString>("later"); // comes after the start: "port", "port after an Off", "file"
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("again"); // what the next start sends
    const QByteArray show6 = Commands::startShow(5);
    QTest::newRow("missed by default, once") << QVariant() << "" << show6 << QByteArray();
    QTest::newRow("always, at every start") << QVariant(QStringLiteral("always")) << "" << show6 << show6;
    // An entry a minute past is not sent by putting the timetable in force.
    QTest::newRow("turned off") << QVariant(QStringLiteral("off")) << "" << QByteArray() << QByteArray();
    QTest::newRow("turned off as the old switch") << QVariant(false) << "" << QByteArray() << QByteArray();
    QTest::newRow("sent once the port appears") << QVariant() << "port" << show6 << QByteArray();
    QTest::newRow("an Off refused meanwhile cancels it") << QVariant() << "port after an Off" << QByteArray() << show6;
    // A stick or share mounted after the start: put in force as none was before.
    QTest::newRow("the file's folder comes after the start") << QVariant() << "file" << show6 << QByteArray();
}

void tst_Panel::catchUpAtStart()
{
    QFETCH(QVariant, catchUp);
    QFETCH(QString, later);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, again);
    const QString adapter = mData->filePath(QStringLiteral("adapter"));
    if (later.startsWith(QStringLiteral("port")))
        mSettings->store(QStringLiteral("serialPort"), adapter);
    // The latest that has passed: yesterday's or today's, whatever the hour.
    const QByteArray table = dailyAt(-7200, "show 3") + dailyAt(-60, "show 6") + dailyAt(3600, "off");
    if (later == QLatin1String("file"))
        mTimetable = mData->filePath(QStringLiteral("stick/plans/gallery.txt"));
    storeTimetable(later == QLatin1String("file") ? QByteArray() : table, catchUp);
    start();
    if (later == QLatin1String("file")) {
        QVERIFY2(mPanel->timetableMark().text.endsWith(QStringLiteral("nothing runs")),
                 qPrintable(mPanel->timetableMark().text));
        QVERIFY(QDir(mData->path()).mkpath(QStringLiteral("stick/plans")));
        writeTimetable(table);
    } else if (!later.isEmpty()) {
        QCOMPARE(mPty->read(100), QByteArray());
        if (later == QLatin1String("port after an Off"))
            QCOMPARE(mPanel->dispatch(Command::off(), Source::hand(QStringLiteral("mouse"))).refusal,
                     Outcome::Refusal::NoPort);
        QVERIFY(QFile::link(port(), adapter));
        QTRY_VERIFY_WITH_TIMEOUT(mPanel->portOpen(), 5000);
    }
    QByteArray got;
    if (!sent.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(!(got += mPty->read(20)).isEmpty(), 7000);
    QCOMPARE(got + mPty->read(100), sent);
    if (!sent.isEmpty()) {
        const JournalRecord record = journalled().value(0);
        QCOMPARE(QStringList({ record.source, record.outcome }), QStringList({ "catch-up line 2", "sent" }));
    }
    QVERIFY(!mPanel->timetableMark().shown);

    // The computer restarted: the player kept what it had.
    mPanel.reset();
    start();
    QCOMPARE(mPty->read(100), again);
}

void tst_Panel::badTimetableKeepsTheOldOne()
{
    storeTimetable(dailyAt(3600, "show 9"), QStringLiteral("off"));
    start();
    takeTheClock();
    writeTimetable("daily 20:00 show 9\nMon-Fri 25:00 off\n");
    QTRY_VERIFY_WITH_TIMEOUT(mPanel->timetableMark().shown, 5000);
    StatusText mark = mPanel->timetableMark();
    QVERIFY2(mark.text.startsWith(QStringLiteral("Timetable: line 2 refused, running the version of ")),
             qPrintable(mark.text));
    QVERIFY2(mark.tip.contains(QDir::toNativeSeparators(mTimetable)), qPrintable(mark.tip));
    const JournalRecord refused = journalled().value(0);
    QCOMPARE(refused.source, QStringLiteral("timetable"));
    QVERIFY2(refused.command.isEmpty() && refused.outcome.startsWith("refused: timetable file " + mTimetable + ", line 2: "),
             qPrintable(refused.outcome));
    mNow = mNow.addSecs(3601);
    mPanel->timetableClock().check();
    QCOMPARE(mPty->read(), Commands::startShow(8));

    // Refused at the next start too: the last good version runs, and says so.
    mPanel.reset();
    start();
    mark = mPanel->timetableMark();
    QVERIFY2(mark.shown && mark.text.startsWith(QStringLiteral("Timetable: line 2 refused, running the version of ")),
             qPrintable(mark.text));
    QVERIFY2(mPanel->nextText().text.startsWith(QString::fromUtf8("Next: Show 9 · ")), qPrintable(mPanel->nextText().text));

    // Put right: the mark goes, and the new version sends nothing that has
    // passed: only catch-up, off here, could.
    writeTimetable(dailyAt(-60, "show 7") + dailyAt(3600, "show 10"));
    QTRY_VERIFY_WITH_TIMEOUT(!mPanel->timetableMark().shown, 5000);
    QVERIFY(mPanel->nextText().text.startsWith(QStringLiteral("Next: Show 10")));
    QCOMPARE(mPty->read(100), QByteArray());
}

// Four entries in the hour the spring change skips, in the file's own zone
// on a computer left on another: all due at 03:00, two of them shows, of
// which the line's queue sends the later; the journal names every one.
void tst_Panel::dueTogetherEachJournalled()
{
    storeTimetable("zone Europe/Berlin\ndaily 02:10 show 1\ndaily 02:20 show 2\ndaily 02:30 show 3\n"
                   "daily 02:40 off\n",
                   QStringLiteral("off"));
    start();
    takeTheClock(QTimeZone::utc());
    mNow = QDateTime(QDate(2026, 3, 29), QTime(0, 59, 59), QTimeZone::utc());
    mPanel->timetableClock().check(true);
    const StatusText next = mPanel->nextText();
    QVERIFY2(next.text.endsWith(QStringLiteral(" Sun 03:00 CEST")), qPrintable(next.text));
    QVERIFY2(next.tip.contains(QStringLiteral("its own zone, Europe/Berlin")), qPrintable(next.tip));
    mNow = mNow.addSecs(1);
    mPanel->timetableClock().check();
    QByteArray got;
    QTRY_COMPARE((got += mPty->read(20)), Commands::startShow(0) + Commands::startShow(2) + Commands::off);
    QStringList records;
    for (const JournalRecord &record : journalled(4))
        records << QString::fromLatin1(record.command) + u' ' + record.outcome + u' ' + record.source;
    records.sort();
    QCOMPARE(records, QStringList({ "X0100 sent timetable line 5", "X0401 sent timetable line 2",
                                    "X0402 replaced timetable line 3", "X0403 sent timetable line 4" }));
}

QTEST_GUILESS_MAIN(tst_Panel)
#include "tst_panel.moc"
