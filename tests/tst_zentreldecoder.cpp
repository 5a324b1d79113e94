// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "decoder.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

void append(QStringList &lines, const std::vector<zentrel::Event> &events)
{
    for (const zentrel::Event &event : events)
        lines << QString::fromStdString(zentrel::formatEvent(event));
}

// Feeds input cut at the given offsets, then flushes.
QStringList decode(const QByteArray &input, const QList<qsizetype> &cuts)
{
    zentrel::Decoder decoder;
    QStringList lines;
    qsizetype from = 0;
    for (qsizetype to : cuts + QList<qsizetype>{input.size()}) {
        append(lines, decoder.feed(input.constData() + from, std::size_t(to - from)));
        if (decoder.pending() >= zentrel::Decoder::kMaxGarbage)
            return {"held too much"};
        from = to;
    }
    append(lines, decoder.flush());
    return lines;
}

QString warning(const char *hex)
{
    return QStringLiteral("warning: malformed ") + QLatin1String(hex);
}

} // namespace

class TestZentrelDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesInAnyChunks_data();
    void decodesInAnyChunks();
    void partialCommandWaitsForFlush();
    void state_data();
    void state();
    void simulator_data();
    void simulator();
    void simulatorLeavesRegularFile();
};

void TestZentrelDecoder::decodesInAnyChunks_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("nothing") << QByteArray() << QStringList();
    QTest::newRow("show 1") << QByteArray("X0401") << QStringList{"show 1"};
    QTest::newRow("show 128") << QByteArray("X0480") << QStringList{"show 128"};
    QTest::newRow("brightness 1 rounds to 0%") << QByteArray("X0201") << QStringList{"brightness 1 (0%)"};
    QTest::newRow("brightness 126") << QByteArray("X027E") << QStringList{"brightness 126 (49%)"};
    QTest::newRow("brightness 127 rounds up") << QByteArray("X027F") << QStringList{"brightness 127 (50%)"};
    QTest::newRow("brightness 255") << QByteArray("X02FF") << QStringList{"brightness 255 (100%)"};
    QTest::newRow("off") << QByteArray("X0100") << QStringList{"off"};
    QTest::newRow("joined") << QByteArray("X0425X02FFX0100")
                            << QStringList{"show 37", "brightness 255 (100%)", "off"};
    QTest::newRow("newline between") << QByteArray("X0425\r\nX0100")
                                     << QStringList{"show 37", warning("0D 0A"), "off"};
    QTest::newRow("garbage before") << QByteArray("ab X0100") << QStringList{warning("61 62 20"), "off"};
    QTest::newRow("NUL bytes") << QByteArray("\0\0X0100", 7) << QStringList{warning("00 00"), "off"};
    QTest::newRow("show 0") << QByteArray("X0400") << QStringList{warning("58 30 34 30 30")};
    QTest::newRow("show 129") << QByteArray("X0481") << QStringList{warning("58 30 34 38 31")};
    QTest::newRow("brightness 0") << QByteArray("X0200") << QStringList{warning("58 30 32 30 30")};
    QTest::newRow("off with argument") << QByteArray("X0101") << QStringList{warning("58 30 31 30 31")};
    QTest::newRow("unknown code 03") << QByteArray("X0301") << QStringList{warning("58 30 33 30 31")};
    QTest::newRow("lower-case argument") << QByteArray("X02fe") << QStringList{warning("58 30 32 66 65")};
    QTest::newRow("lower-case x") << QByteArray("x0100") << QStringList{warning("78 30 31 30 30")};
    QTest::newRow("space inside") << QByteArray("X04 25X0100")
                                  << QStringList{warning("58 30 34 20 32"), warning("35"), "off"};
    QTest::newRow("partial cut by X") << QByteArray("X04X0100") << QStringList{warning("58 30 34"), "off"};
    QTest::newRow("lone X") << QByteArray("XX0100") << QStringList{warning("58"), "off"};
    QTest::newRow("partial at end") << QByteArray("X0100X02") << QStringList{"off", warning("58 30 32")};
    QTest::newRow("garbage at end") << QByteArray("X0100zz") << QStringList{"off", warning("7A 7A")};
    QTest::newRow("long garbage in chunks of 16")
        << QByteArray(35, 'a') + "X0100"
        << QStringList{warning("61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61"),
                       warning("61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61"),
                       warning("61 61 61"), "off"};
}

// The result must not depend on how the line delivers the bytes.
void TestZentrelDecoder::decodesInAnyChunks()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, expected);

    for (qsizetype cut = 0; cut <= input.size(); ++cut)
        QVERIFY2(decode(input, {cut}) == expected, qPrintable(QStringLiteral("cut at %1").arg(cut)));

    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < input.size(); ++i)
        everyByte << i;
    QCOMPARE(decode(input, everyByte), expected);
}

void TestZentrelDecoder::partialCommandWaitsForFlush()
{
    zentrel::Decoder decoder;
    QVERIFY(decoder.feed("X04", 3).empty());
    QCOMPARE(decoder.pending(), std::size_t(3));
    QCOMPARE(decoder.feed("25", 2), (std::vector<zentrel::Event>{{zentrel::Event::Kind::Show, 37, {}}}));

    QVERIFY(decoder.feed("X04", 3).empty());
    QCOMPARE(decoder.flush(), (std::vector<zentrel::Event>{{zentrel::Event::Kind::Malformed, 0, "X04"}}));
    QCOMPARE(decoder.pending(), std::size_t(0));
    // After a flush the rest of the cut command is garbage, not a show.
    QVERIFY(decoder.feed("25", 2).empty());
    QCOMPARE(decoder.flush(), (std::vector<zentrel::Event>{{zentrel::Event::Kind::Malformed, 0, "25"}}));
}

void TestZentrelDecoder::state_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing yet") << QByteArray() << "state: show none, brightness unset, output off";
    QTest::newRow("show") << QByteArray("X0425") << "state: show 37, brightness unset, output on";
    QTest::newRow("brightness") << QByteArray("X027E") << "state: show none, brightness 126 (49%), output on";
    QTest::newRow("off keeps show and brightness")
        << QByteArray("X0425X027EX0100") << "state: show 37, brightness 126 (49%), output off";
    QTest::newRow("show after off") << QByteArray("X0425X0100X0402") << "state: show 2, brightness unset, output on";
    QTest::newRow("malformed changes nothing")
        << QByteArray("X0425X0100X0400X0200X02fe") << "state: show 37, brightness unset, output off";
}

void TestZentrelDecoder::state()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);

    zentrel::Decoder decoder;
    zentrel::State state;
    for (const zentrel::Event &event : decoder.feed(input.constData(), std::size_t(input.size())))
        state.apply(event);
    QCOMPARE(QString::fromStdString(zentrel::formatState(state)), expected);
}

#ifdef ZENTREL_SIM
namespace {

// One client session: open, write, close, as the panel does.
bool writeToDevice(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

// The log lines without their timestamps; empty if a line has none.
QStringList logLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d (.+)$"));
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = stamped.match(line);
        if (!match.hasMatch())
            return {"unstamped: " + line};
        lines << match.captured(1);
    }
    return lines;
}

} // namespace
#endif

void TestZentrelDecoder::simulator_data()
{
    QTest::addColumn<int>("stopSignal");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("SIGTERM") << int(SIGTERM) << QStringList();
    QTest::newRow("SIGINT") << int(SIGINT) << QStringList();
    QTest::newRow("at 9600 baud") << int(SIGTERM) << QStringList { "--baud", "9600" };
}

void TestZentrelDecoder::simulator()
{
#ifndef ZENTREL_SIM
    QSKIP("zentrel-sim is not built on this platform");
#else
    QFETCH(int, stopSignal);
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("player");
    const QString log = dir.filePath("sim.log");

    QProcess sim;
    sim.start(QStringLiteral(ZENTREL_SIM), QStringList { "--link", link, "--log", log, "--quiet" } + options);
    QVERIFY(sim.waitForStarted());
    while (!sim.canReadLine())
        QVERIFY(sim.waitForReadyRead(10000));
    const QString first = QString::fromUtf8(sim.readLine()).trimmed();
    QVERIFY2(first.startsWith("device: /dev/pts/"), qPrintable(first));
    const QString device = first.mid(8);
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);

    // A command split across two sessions, through the link and the device.
    QVERIFY(writeToDevice(link, "X0425X02"));
    QVERIFY(writeToDevice(device, "7E\nX0100"));
    QTRY_COMPARE(logLines(log).size(), 4);
    ::kill(pid_t(sim.processId()), SIGUSR1);
    QTRY_COMPARE(logLines(log).size(), 5);
    QVERIFY(writeToDevice(device, "X04"));
    ::kill(pid_t(sim.processId()), stopSignal);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);

    QCOMPARE(logLines(log), (QStringList{"show 37", "brightness 126 (49%)", warning("0A"), "off",
                                         "state: show 37, brightness 126 (49%), output off",
                                         warning("58 30 34"),
                                         "state: show 37, brightness 126 (49%), output off"}));
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(sim.readAllStandardOutput(), QByteArray()); // --quiet
#endif
}

void TestZentrelDecoder::simulatorLeavesRegularFile()
{
#ifndef ZENTREL_SIM
    QSKIP("zentrel-sim is not built on this platform");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("player");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    QProcess sim;
    sim.start(QStringLiteral(ZENTREL_SIM), {"--link", path});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
#endif
}

QTEST_GUILESS_MAIN(TestZentrelDecoder)
#include "tst_zentreldecoder.moc"
