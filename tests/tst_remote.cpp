// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/commands.h"
#include "panel/panel.h"
#include "window/lumivanemainwindow.h"
#include "remote/osc.h"
#include "remote/remoteserver.h"
#include "remote/textcommand.h"
#include "remotepeer.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QTemporaryDir>
#include <QSlider>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <limits>

namespace {

QString described(const QList<RemoteCommand> &commands)
{
    QStringList words;
    for (const RemoteCommand &c : commands) {
        switch (c.kind) {
        case RemoteCommand::Kind::Show:
            words << QStringLiteral("show %1").arg(c.value);
            break;
        case RemoteCommand::Kind::Brightness:
            words << QStringLiteral("brightness %1").arg(c.value);
            break;
        case RemoteCommand::Kind::Off:
            words << QStringLiteral("off");
            break;
        case RemoteCommand::Kind::State:
            words << QStringLiteral("state");
            break;
        }
    }
    return words.join(QStringLiteral("; "));
}

// Remote control stored on a free port, with the line on `serialPort`;
// returns the port, 0 when none was free.
quint16 storeRemote(TemporarySettings &settings, const QString &serialPort, bool enabled = true)
{
    const quint16 port = freePort();
    settings.store(QStringLiteral("serialPort"), serialPort);
    settings.store(QStringLiteral("remote/enabled"), enabled);
    settings.store(QStringLiteral("remote/port"), port);
    return port;
}

// A peer that sends everything, shuts its sending side as `nc -N` does, and
// reads the replies to the end. QTcpSocket cannot shut one side alone.
QByteArray sendAndShut(quint16 port, const QByteArray &bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray replies;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0
        && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size()) {
        ::shutdown(fd, SHUT_WR);
        // The server runs in this thread: read without blocking, let it turn.
        QDeadlineTimer deadline(5000);
        char buffer[4096];
        while (!deadline.hasExpired()) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0)
                break;
            if (n > 0)
                replies.append(buffer, n);
            else
                QTest::qWait(5);
        }
    }
    ::close(fd);
    return replies;
}

// A server on its own, whose commands only say what they were.
struct EchoServer
{
    RemoteServer server;
    quint16 port = freePort();
    EchoServer()
    {
        server.execute = [](const RemoteCommand &command, const QString &) {
            return command.kind == RemoteCommand::Kind::State ? QByteArray("ok state") : TextCommand::done(command);
        };
        server.configure({ true, port, false, {} });
    }
};

} // namespace

class tst_Remote : public QObject
{
    Q_OBJECT

private slots:
    void oscDecode_data();
    void oscDecode();
    void textParse_data();
    void textParse();
    void percentToCommand_data();
    void percentToCommand();
    void allowedPeers_data();
    void allowedPeers();
    void linesToThePeersEnd_data();
    void linesToThePeersEnd();
    void connectionSlots_data();
    void connectionSlots();
    void unfinishedLineEndsTheConnection_data();
    void unfinishedLineEndsTheConnection();
    void peerThatNeverReads();
    void socketsReachTheLine();
    void dialogListsRefusalsAndHoldsStill();
    void noPortNoBox();
    void indicatorInTheStatusBar_data();
    void indicatorInTheStatusBar();
};

void tst_Remote::oscDecode_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<int>("ignored");

    const QByteArray show37 = msg("/lumivane/show", ",i", i32(37));
    QTest::newRow("show, int") << show37 << "show 37" << 0;
    QTest::newRow("show, whole float") << msg("/lumivane/show", ",f", f32(128)) << "show 128" << 0;
    QTest::newRow("show, float not whole") << msg("/lumivane/show", ",f", f32(37.5f)) << "" << 1;
    QTest::newRow("show 0") << msg("/lumivane/show", ",i", i32(0)) << "" << 1;
    QTest::newRow("show 129") << msg("/lumivane/show", ",i", i32(129)) << "" << 1;
    QTest::newRow("show without argument") << msg("/lumivane/show", ",") << "" << 1;
    QTest::newRow("show, string argument") << msg("/lumivane/show", ",s", str("37")) << "" << 1;
    QTest::newRow("show, two arguments") << msg("/lumivane/show", ",ii", i32(3) + i32(4)) << "" << 1;
    QTest::newRow("show/N") << msg("/lumivane/show/5", ",") << "show 5" << 0;
    QTest::newRow("show/N without type tags") << str("/lumivane/show/5") << "show 5" << 0;
    QTest::newRow("show/N, T") << msg("/lumivane/show/128", ",T") << "show 128" << 0;
    QTest::newRow("show/N, F is a release") << msg("/lumivane/show/5", ",F") << "" << 0;
    QTest::newRow("show/N, 0 is a release") << msg("/lumivane/show/5", ",i", i32(0)) << "" << 0;
    QTest::newRow("show/N, 0.0 is a release") << msg("/lumivane/show/5", ",f", f32(0)) << "" << 0;
    QTest::newRow("show/N, 1.0") << msg("/lumivane/show/5", ",f", f32(1)) << "show 5" << 0;
    QTest::newRow("show/0") << msg("/lumivane/show/0", ",") << "" << 1;
    QTest::newRow("show/129") << msg("/lumivane/show/129", ",") << "" << 1;
    QTest::newRow("show/-1") << msg("/lumivane/show/-1", ",") << "" << 1;
    QTest::newRow("show/5x") << msg("/lumivane/show/5x", ",") << "" << 1;
    QTest::newRow("brightness, float fraction") << msg("/lumivane/brightness", ",f", f32(0.25f)) << "brightness 25" << 0;
    QTest::newRow("brightness, int percent") << msg("/lumivane/brightness", ",i", i32(100)) << "brightness 100" << 0;
    QTest::newRow("brightness, int 0") << msg("/lumivane/brightness", ",i", i32(0)) << "brightness 0" << 0;
    QTest::newRow("brightness, float above 1") << msg("/lumivane/brightness", ",f", f32(1.5f)) << "" << 1;
    QTest::newRow("brightness, negative float") << msg("/lumivane/brightness", ",f", f32(-0.1f)) << "" << 1;
    QTest::newRow("brightness, NaN")
        << msg("/lumivane/brightness", ",f", f32(std::numeric_limits<float>::quiet_NaN())) << "" << 1;
    QTest::newRow("brightness, int 101") << msg("/lumivane/brightness", ",i", i32(101)) << "" << 1;
    QTest::newRow("brightness, T") << msg("/lumivane/brightness", ",T") << "" << 1;
    QTest::newRow("off") << msg("/lumivane/off", ",") << "off" << 0;
    QTest::newRow("off, int 1") << msg("/lumivane/off", ",i", i32(1)) << "off" << 0;
    QTest::newRow("off, F") << msg("/lumivane/off", ",F") << "" << 0;
    QTest::newRow("state") << msg("/lumivane/state", ",") << "state" << 0;
    QTest::newRow("state with an argument") << msg("/lumivane/state", ",i", i32(1)) << "" << 1;
    QTest::newRow("another address") << msg("/lumivane/shows", ",i", i32(1)) << "" << 1;
    QTest::newRow("a pattern is not matched") << msg("/lumivane/*", ",") << "" << 1;
    QTest::newRow("upper case address") << msg("/Lumivane/off", ",") << "" << 1;
    QTest::newRow("bundle, in order")
        << bundle({ msg("/lumivane/show/1", ","), msg("/lumivane/brightness", ",i", i32(50)), msg("/lumivane/off", ",") })
        << "show 1; brightness 50; off" << 0;
    QTest::newRow("nested bundle")
        << bundle({ show37, bundle({ msg("/lumivane/show/2", ",") }), msg("/lumivane/off", ",") })
        << "show 37; show 2; off" << 0;
    QTest::newRow("empty bundle") << bundle({}) << "" << 0;
    QTest::newRow("bundle with an unknown message")
        << bundle({ msg("/other", ","), show37 }) << "show 37" << 1;
    QByteArray deep = show37;
    for (int depth = 0; depth < 9; ++depth)
        deep = bundle({ deep });
    QTest::newRow("bundles nested too deep") << deep << "" << 1;
    QByteArray lying = bundle({ show37 });
    qToBigEndian<qint32>(4096, lying.data() + 16);
    QTest::newRow("bundle element longer than the packet") << lying << "" << 1;
    QTest::newRow("bundle element of 6 bytes")
        << (bundle({ show37 }) + i32(6) + QByteArray("/a\0\0,\0", 6)) << "" << 1;
    QTest::newRow("a malformed bundle runs none of it")
        << (bundle({ show37 }) + i32(8) + str("/a")) << "" << 1;
    QTest::newRow("empty packet") << QByteArray() << "" << 1;
    QTest::newRow("argument truncated") << msg("/lumivane/show", ",ii", i32(37)) << "" << 1;
    QTest::newRow("address without padding") << QByteArray("/lumivane/off\0,\0\0\0", 18) << "" << 1;
    QTest::newRow("padding not NUL") << QByteArray("/lumivane/off\0\0x,\0\0\0", 20) << "" << 1;
    QTest::newRow("bytes after the arguments") << (show37 + i32(0)) << "" << 1;
    QTest::newRow("unknown type tag") << msg("/lumivane/off", ",Z") << "" << 1;
    QTest::newRow("blob larger than the packet")
        << msg("/lumivane/off", ",b", i32(0x7ffffff0)) << "" << 1;
    QTest::newRow("no address") << msg("lumivane/off", ",") << "" << 1;
}

void tst_Remote::oscDecode()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, commands);
    QFETCH(int, ignored);
    const Osc::Decoded decoded = Osc::decode(packet);
    QCOMPARE(described(decoded.commands), commands);
    QCOMPARE(decoded.refused.size(), ignored);
}

void tst_Remote::textParse_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("error");

    QTest::newRow("show") << QByteArray("show 37") << "show 37" << QByteArray();
    QTest::newRow("any case, blanks around") << QByteArray("  SHOW\t 128 ") << "show 128" << QByteArray();
    QTest::newRow("CR left on") << QByteArray("off\r") << "off" << QByteArray();
    QTest::newRow("brightness") << QByteArray("Brightness 49") << "brightness 49" << QByteArray();
    QTest::newRow("brightness 0") << QByteArray("brightness 0") << "brightness 0" << QByteArray();
    QTest::newRow("state") << QByteArray("state") << "state" << QByteArray();
    const QByteArray showRange = "error: show takes a number from 1 to 128";
    const QByteArray percentRange = "error: brightness takes a percentage from 0 to 100";
    QTest::newRow("show 0") << QByteArray("show 0") << "" << showRange;
    QTest::newRow("show 129") << QByteArray("show 129") << "" << showRange;
    QTest::newRow("show without number") << QByteArray("show") << "" << showRange;
    QTest::newRow("show +5") << QByteArray("show +5") << "" << showRange;
    QTest::newRow("show two numbers") << QByteArray("show 1 2") << "" << showRange;
    QTest::newRow("show a huge number") << QByteArray("show 99999999999999999999") << "" << showRange;
    QTest::newRow("brightness 101") << QByteArray("brightness 101") << "" << percentRange;
    QTest::newRow("brightness -1") << QByteArray("brightness -1") << "" << percentRange;
    QTest::newRow("brightness 4.5") << QByteArray("brightness 4.5") << "" << percentRange;
    QTest::newRow("off with an argument") << QByteArray("off now") << "" << QByteArray("error: off takes no argument");
    QTest::newRow("unknown")
        << QByteArray("jump 3") << "" << QByteArray("error: unknown command (show N, brightness P, off, state)");
    QTest::newRow("empty") << QByteArray("") << "" << QByteArray("error: empty line");
}

void tst_Remote::textParse()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, command);
    QFETCH(QByteArray, error);
    const TextCommand::Parsed parsed = TextCommand::parse(line);
    QCOMPARE(parsed.ok, error.isEmpty());
    QCOMPARE(parsed.error, error);
    if (parsed.ok)
        QCOMPARE(described({ parsed.command }), command);
}

void tst_Remote::percentToCommand_data()
{
    QTest::addColumn<double>("percent");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("100") << 100.0 << QByteArray("X02FF");
    QTest::newRow("0 is the lowest level") << 0.0 << QByteArray("X0201");
    QTest::newRow("49") << 49.0 << QByteArray("X027E");
    QTest::newRow("50, nearer above") << 50.0 << QByteArray("X0280");
    QTest::newRow("1") << 1.0 << QByteArray("X0202");
}

void tst_Remote::percentToCommand()
{
    QFETCH(double, percent);
    QFETCH(QByteArray, bytes);
    const int value = Commands::sliderValueForPercent(percent, 99);
    QCOMPARE(Commands::brightness(Commands::brightnessLevel(value, 99)), bytes);
}

void tst_Remote::allowedPeers_data()
{
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<bool>("let");
    QTest::newRow("blank lets any") << "" << "192.168.1.5" << true;
    QTest::newRow("inside a prefix") << "192.168.1.0/24" << "192.168.1.77" << true;
    QTest::newRow("outside a prefix") << "192.168.1.0/24" << "192.168.2.1" << false;
    QTest::newRow("IPv4 through a dual-stack socket") << "10.0.0.7" << "::ffff:10.0.0.7" << true;
    QTest::newRow("a list, commas and blanks") << "10.0.0.7, 127.0.0.1" << "127.0.0.1" << true;
    QTest::newRow("one address is not its neighbour") << "10.0.0.7" << "10.0.0.8" << false;
    QTest::newRow("IPv6 prefix") << "fd00::/8" << "fd12::1" << true;
    QTest::newRow("written as a dual-stack peer") << "::ffff:127.0.0.1" << "127.0.0.1" << true;
    QTest::newRow("dual-stack prefix") << "::ffff:10.0.0.0/104" << "::ffff:10.0.0.9" << true;
    QTest::newRow("dual-stack entry is not its neighbour") << "::ffff:10.0.0.7" << "10.0.0.8" << false;
}

void tst_Remote::allowedPeers()
{
    QFETCH(QString, allowed);
    QFETCH(QString, peer);
    QFETCH(bool, let);
    const auto subnets = RemoteServer::parseAllowed(allowed);
    QVERIFY(subnets);
    QCOMPARE(RemoteServer::isAllowed(*subnets, QHostAddress(peer)), let);
    // A word that is no address must not widen the list to anyone.
    QVERIFY(!RemoteServer::parseAllowed(allowed + QStringLiteral(" printer.local")));
}

void tst_Remote::linesToThePeersEnd_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("replies");
    QByteArray shows, answered;
    for (int n = 1; n <= 99; ++n) {
        shows += "show " + QByteArray::number(n) + "\n";
        answered += "ok show " + QByteArray::number(n) + "\n";
    }
    QTest::newRow("99 shows and an off, more than a turn's share")
        << shows + "off\n" << answered + "ok off\n";
    QTest::newRow("last line without a line end") << QByteArray("state") << QByteArray("ok state\n");
    QTest::newRow("bare CR") << QByteArray("show 3\rstate\r") << QByteArray("ok show 3\nok state\n");
    QTest::newRow("CR LF is one line end") << QByteArray("off\r\n\r\nstate\r\n")
                                           << QByteArray("ok off\nerror: empty line\nok state\n");
    QTest::newRow("LF, then a last line") << QByteArray("show 1\nOFF") << QByteArray("ok show 1\nok off\n");
}

// Every line the peer sent before shutting its side is answered, in order.
void tst_Remote::linesToThePeersEnd()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, replies);
    EchoServer echo;
    QVERIFY(echo.server.listening());
    QCOMPARE(sendAndShut(echo.port, sent), replies);
}

void tst_Remote::connectionSlots_data()
{
    QTest::addColumn<bool>("silentLongEnough");
    QTest::newRow("8 connections, a 9th refused") << false;
    QTest::newRow("a 9th takes the place of the one silent longest") << true;
}

void tst_Remote::connectionSlots()
{
    QFETCH(bool, silentLongEnough);
    EchoServer echo;
    echo.server.silentMs = silentLongEnough ? 200 : 60000;
    std::array<QTcpSocket, RemoteServer::maxClients> taken;
    for (QTcpSocket &socket : taken) {
        socket.connectToHost(QHostAddress::LocalHost, echo.port);
        socket.write("off\n");
        QCOMPARE(lineReply(socket), QByteArray("ok off\n"));
    }
    if (silentLongEnough) {
        QTest::qWait(300);
        // Heard again: the first is now the one silent longest but for it.
        taken[0].write("off\n");
        QCOMPARE(lineReply(taken[0]), QByteArray("ok off\n"));
    }
    QTcpSocket ninth;
    ninth.connectToHost(QHostAddress::LocalHost, echo.port);
    ninth.write("state\n");
    if (!silentLongEnough) {
        QCOMPARE(lineReply(ninth), QByteArray("error: too many connections\n"));
        QTRY_COMPARE_WITH_TIMEOUT(ninth.state(), QAbstractSocket::UnconnectedState, 3000);
        for (QTcpSocket &socket : taken)
            QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
        return;
    }
    QCOMPARE(lineReply(ninth), QByteArray("ok state\n"));
    QCOMPARE(lineReply(taken[1]), QByteArray("error: closed after 0.2 seconds of silence, for a new connection\n"));
    QTRY_COMPARE_WITH_TIMEOUT(taken[1].state(), QAbstractSocket::UnconnectedState, 3000);
    QCOMPARE(taken[0].state(), QAbstractSocket::ConnectedState);
    QCOMPARE(taken[2].state(), QAbstractSocket::ConnectedState);
}

void tst_Remote::unfinishedLineEndsTheConnection_data()
{
    QTest::addColumn<int>("limitMs"); // 0: the server's own
    QTest::addColumn<int>("trickleMs"); // a byte of the line this often; 0: none
    QTest::newRow("a line begun, then nothing") << 300 << 0;
    // Each byte restarting the time would keep the connection for ever.
    QTest::newRow("a byte every 0.2 s still ends at 0.5 s") << 500 << 200;
    QTest::newRow("the defaults: 10 s for a line, 60 s of silence") << 0 << 200;
}

void tst_Remote::unfinishedLineEndsTheConnection()
{
    QFETCH(int, limitMs);
    QFETCH(int, trickleMs);
    EchoServer echo;
    if (limitMs > 0) {
        echo.server.unfinishedLineMs = limitMs;
    } else {
        // Every other test sets its own, so a default typed wrong passes them.
        QCOMPARE(echo.server.unfinishedLineMs, 10000);
        QCOMPARE(echo.server.silentMs, 60000);
    }
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, echo.port);
    socket.write("off\nsho");
    QCOMPARE(lineReply(socket), QByteArray("ok off\n"));
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, &socket, [&socket] { socket.write("w"); });
    if (trickleMs > 0)
        trickle.start(trickleMs);
    if (limitMs == 0) {
        // Twice as long as the other rows' limit, and nothing ends.
        QTest::qWait(1000);
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(socket.bytesAvailable(), 0);
        return;
    }
    QCOMPARE(lineReply(socket),
             "error: line not finished within " + QByteArray::number(limitMs / 1000.0) + " seconds\n");
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 3000);
    QCOMPARE(echo.server.ignored(), 1);
}

// A peer that sends and never reads its replies: what waits for it stays
// bounded, another peer is answered meanwhile, and once it reads, every one
// of its lines has been answered.
void tst_Remote::peerThatNeverReads()
{
    EchoServer echo;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    // Small buffers of its own, so that the server's fill up soon.
    const int small = 8192;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(echo.port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to), 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });

    QByteArray lines;
    for (int k = 0; k < 1000; ++k)
        lines += "state\n";
    QByteArray pending;
    qint64 sent = 0;
    const auto sendSome = [&] {
        if (pending.isEmpty() && sent < 8 * 1024 * 1024)
            pending = lines;
        const ssize_t n = ::send(fd, pending.constData(), std::size_t(pending.size()), MSG_DONTWAIT);
        if (n <= 0)
            return false;
        pending.remove(0, n);
        sent += n;
        return true;
    };
    // On until the server has stopped taking its lines for half a second.
    QElapsedTimer stuck;
    stuck.start();
    while (stuck.elapsed() < 500 && sent < 8 * 1024 * 1024) {
        if (sendSome())
            stuck.start();
        else
            QTest::qWait(5);
    }
    const QList<QTcpSocket *> sockets = echo.server.findChildren<QTcpSocket *>();
    QCOMPARE(sockets.size(), 1);
    const qint64 unsent = sockets.first()->bytesToWrite();
    QVERIFY2(unsent > RemoteServer::maxUnsent / 2 && unsent <= RemoteServer::maxUnsent + RemoteServer::perTurn * 16,
             QByteArray::number(unsent).constData());

    QTcpSocket other;
    other.connectToHost(QHostAddress::LocalHost, echo.port);
    other.write("state\n");
    QCOMPARE(lineReply(other), QByteArray("ok state\n"));

    // Reading now, it gets a reply to each line it sent.
    QByteArray replies;
    QDeadlineTimer deadline(20000);
    char buffer[65536];
    while (!deadline.hasExpired() && replies.size() < (sent + pending.size()) / 6 * 9) {
        if (!pending.isEmpty())
            sendSome();
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            replies.append(buffer, n);
        else
            QTest::qWait(1);
    }
    QCOMPARE(replies.size(), sent / 6 * 9);
    QCOMPARE(replies.count("ok state\n"), sent / 6);
}

// The whole path on real sockets: what a peer sends arrives on the line as
// the operator's click or drag would send it, and the window shows it.
void tst_Remote::socketsReachTheLine()
{
    TemporarySettings settings;
    Pty pty;
    const quint16 port = storeRemote(settings, QString::fromLocal8Bit(pty.slavePath));
    QVERIFY(port);

    ModalAnswerer answerer;
    LumivaneMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QUdpSocket osc;
    osc.writeDatagram(msg("/lumivane/show", ",i", i32(37)), QHostAddress::LocalHost, port);
    QCOMPARE(pty.read(), QByteArray("X0425"));
    QVERIFY(showButton(window, 36)->isChecked());
    QCOMPARE(window.mTabber->currentIndex(), 0);
    QTRY_VERIFY(window.findChild<QLabel *>(QStringLiteral("lastCommand"))
                    ->text().endsWith(QStringLiteral(" (remote 127.0.0.1)")));

    QTcpSocket text;
    text.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(text.waitForConnected(2000));
    const auto reply = [&text](const QByteArray &line) {
        text.write(line);
        if (!QTest::qWaitFor([&text] { return text.canReadLine(); }, 2000))
            return QByteArray("(no reply)");
        return text.readLine();
    };
    // The state over OSC, answered to the sender from the port it asked.
    osc.writeDatagram(msg("/lumivane/state", ","), QHostAddress::LocalHost, port);
    QVERIFY(QTest::qWaitFor([&osc] { return osc.hasPendingDatagrams(); }, 2000));
    QByteArray answer(int(osc.pendingDatagramSize()), '\0');
    quint16 answeredFrom = 0;
    osc.readDatagram(answer.data(), answer.size(), nullptr, &answeredFrom);
    QCOMPARE(answer, msg("/lumivane/state", ",s", str("ok show 37 link " + window.linkText().toUtf8())));
    QCOMPARE(answeredFrom, port);
    QCOMPARE(reply("brightness 49\n"), QByteArray("ok brightness 49\n"));
    QCOMPARE(pty.read(), QByteArray("X027E"));
    QCOMPARE(window.mBrightSlider->value(), 50);

    osc.writeDatagram(msg("/lumivane/off", ","), QHostAddress::LocalHost, port);
    QCOMPARE(pty.read(), QByteArray("X0100"));
    QVERIFY(showButton(window, 36)->isChecked());

    // A burst bigger than one turn's share, then one datagram more: the
    // socket must still be read after the burst is through.
    for (int k = 0; k < 100; ++k)
        osc.writeDatagram(msg("/lumivane/show/" + QByteArray::number(k % 20 + 1), ","), QHostAddress::LocalHost, port);
    QVERIFY(pty.read(300).endsWith("X0414"));
    osc.writeDatagram(msg("/lumivane/show", ",i", i32(37)), QHostAddress::LocalHost, port);
    QCOMPARE(pty.read(), QByteArray("X0425"));

    // A line past the limit closes the connection and sends nothing.
    text.write(QByteArray(2000, 's') + "how 1\n");
    QTRY_COMPARE_WITH_TIMEOUT(text.state(), QAbstractSocket::UnconnectedState, 2000);
    QCOMPARE(text.readAll(), QByteArray("error: line longer than 1024 bytes\n"));
    QCOMPARE(pty.read(), QByteArray());

    // Narrowed in the dialog to a network the loopback is not in: stored on
    // OK, and this computer's own datagrams and connections change nothing.
    answerer.then([](QWidget *dialog) {
        dialog->findChild<QLineEdit *>()->setText(QStringLiteral("10.0.0.0/8"));
        ModalAnswerer::click(QStringLiteral("OK"))(dialog);
    });
    window.fileRemoteAction->trigger();
    QCOMPARE(settings.stored(QStringLiteral("remote/allowed")).toString(), QStringLiteral("10.0.0.0/8"));
    osc.writeDatagram(msg("/lumivane/show/3", ","), QHostAddress::LocalHost, port);
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, port);
    refused.write("show 4\n");
    QTRY_COMPARE_WITH_TIMEOUT(refused.state(), QAbstractSocket::UnconnectedState, 2000);
    QCOMPARE(pty.read(), QByteArray());
    QVERIFY(showButton(window, 36)->isChecked());
    QCOMPARE(answerer.seen.size(), 1);
}

// Nobody at the window asked for a remote command: without a port it is
// refused in its reply, and no box opens for it, for any kind of command.
void tst_Remote::noPortNoBox()
{
    TemporarySettings settings;
    QTemporaryDir dir;
    const quint16 port = storeRemote(settings, dir.filePath(QStringLiteral("gone")));
    QVERIFY(port);
    ModalAnswerer answerer;
    LumivaneMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The box at start-up, about the port the settings name.
    QTRY_COMPARE(answerer.seen.size(), 1);

    QUdpSocket osc;
    osc.writeDatagram(bundle({ msg("/lumivane/show/3", ","), msg("/lumivane/brightness", ",f", f32(0.5f)),
                               msg("/lumivane/off", ",") }),
                      QHostAddress::LocalHost, port);
    QCOMPARE(sendAndShut(port, "show 3\nbrightness 50\noff\nstate\n").count('\n'), 4);
    // A box would come from a zero-time timer; give it a few turns.
    for (int turn = 0; turn < 20; ++turn)
        QTest::qWait(10);
    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("link"))->toolTip().contains(QStringLiteral("refused")));
}

// Refusals arriving while the dialog is open are listed there, and neither
// they nor OK's complaint about the allowed list move anything in it.
void tst_Remote::dialogListsRefusalsAndHoldsStill()
{
    TemporarySettings settings;
    Pty pty;
    const quint16 port = storeRemote(settings, QString::fromLocal8Bit(pty.slavePath));
    QVERIFY(port);
    ModalAnswerer answerer;
    LumivaneMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    bool checked = false;
    answerer.then([&](QWidget *dialog) {
        // A check failing here returns at once; the dialog must not stay.
        const auto closeDialog = qScopeGuard([dialog] {
            if (dialog->isVisible())
                static_cast<QDialog *>(dialog)->reject();
        });
        const auto checkbox = dialog->findChild<QCheckBox *>();
        QList<QWidget *> parts { dialog, checkbox };
        for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>())
            parts << button;
        QList<QRect> where;
        for (QWidget *part : parts)
            where << QRect(part->mapTo(dialog->window(), QPoint()), part->size());
        const auto unmoved = [&] {
            for (int k = 0; k < parts.size(); ++k) {
                if (QRect(parts[k]->mapTo(dialog->window(), QPoint()), parts[k]->size()) != where[k])
                    return false;
            }
            return true;
        };

        QUdpSocket osc;
        osc.writeDatagram(msg("/lumivane/show", ",i", i32(200)), QHostAddress::LocalHost, port);
        osc.writeDatagram(msg("/lumivane/Show", ",i", i32(3)), QHostAddress::LocalHost, port);
        auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("refusals"));
        QTRY_COMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("127.0.0.1"));
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("/lumivane/Show: unknown address"));
        QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("show 200: a show is 1 to 128"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("refusedTitle"))->text(),
                 QStringLiteral("Refused: 2 (below, newest first)"));
        QVERIFY(unmoved());

        // The list names the word it cannot use, and nothing is stored.
        dialog->findChild<QLineEdit *>()->setText(QStringLiteral("10.0.0.7 printer.local"));
        ModalAnswerer::click(QStringLiteral("OK"))(dialog);
        QVERIFY(dialog->isVisible());
        const auto *status = dialog->findChild<QLabel *>(QStringLiteral("remoteStatus"));
        QCOMPARE(status->text(), QStringLiteral("The allowed addresses are not all addresses or prefixes "
                                                "(\"printer.local\" is neither)"));
        QTest::qWait(600); // the list's next look
        QCOMPARE(status->text().left(20), QStringLiteral("The allowed addresse"));
        QVERIFY(unmoved());
        QVERIFY(settings.stored(QStringLiteral("remote/allowed")).toString().isEmpty());
        checked = true;
        ModalAnswerer::click(QStringLiteral("Cancel"))(dialog);
    });
    window.fileRemoteAction->trigger();
    QVERIFY(checked);
    QCOMPARE(answerer.seen.size(), 1);
}

void tst_Remote::indicatorInTheStatusBar_data()
{
    QTest::addColumn<QString>("which"); // "remote" or "browser"
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("held"); // another program listens on the port
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("text"); // %1: the port; empty: nothing shown
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("button"); // the dialog's, after its switch was toggled
    QTest::addColumn<QStringList>("password"); // typed twice under Set Password...; empty: not pressed

    QTest::newRow("off") << "remote" << false << false << "" << "" << "" << "OK" << QStringList();
    QTest::newRow("on") << "remote" << true << false << "" << "Remote: on" << "Listening on 127.0.0.1:%1" << "OK"
                        << QStringList();
    QTest::newRow("port in use") << "remote" << true << true << "" << "Remote: port %1 in use"
                                 << "Port %1 is in use by another program" << "OK" << QStringList();
    QTest::newRow("allowed list not addresses")
        << "remote" << true << false << "10.0.0.7 printer.local" << "Remote: not listening"
        << "Not listening: the allowed addresses are not all addresses or prefixes (\"printer.local\" is neither)"
        << "OK" << QStringList();
    QTest::newRow("on, switched off by a stray key and cancelled")
        << "remote" << true << false << "" << "Remote: on" << "Listening on 127.0.0.1:%1" << "Cancel" << QStringList();

    const QString browserOn = QStringLiteral("Listening on http://127.0.0.1:%1/");
    QTest::newRow("browser panel off") << "browser" << false << false << "" << "" << "" << "OK" << QStringList();
    QTest::newRow("browser panel on") << "browser" << true << false << "" << "Browser: on" << browserOn << "OK"
                                      << QStringList();
    QTest::newRow("browser panel's port in use")
        << "browser" << true << true << "" << "Browser: port %1 in use"
        << "Not listening: port %1 is in use by another program" << "OK" << QStringList();
    QTest::newRow("browser panel on, switched off by a stray key and cancelled")
        << "browser" << true << false << "" << "Browser: on" << browserOn << "Cancel" << QStringList();
    QTest::newRow("browser panel, a password set")
        << "browser" << false << false << "127.0.0.1 ::1" << "" << "" << "OK"
        << QStringList { "Foyer 2026!", "Foyer 2026!" };
    QTest::newRow("browser panel, a password set and cancelled")
        << "browser" << false << false << "" << "" << "" << "Cancel" << QStringList { "Foyer 2026!", "Foyer 2026!" };
    QTest::newRow("browser panel, two passwords that differ")
        << "browser" << false << false << "" << "" << "" << "OK" << QStringList { "Foyer 2026!", "Foyer 2062!" };
}

// Remote control's and the browser panel's state where the operator looks,
// beside the link, and nothing of either while it is off; the dialog's switch
// changes it, and the password is stored, only on OK.
void tst_Remote::indicatorInTheStatusBar()
{
    QFETCH(QString, which);
    QFETCH(bool, enabled);
    QFETCH(bool, held);
    QFETCH(QString, allowed);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(QString, button);
    QFETCH(QStringList, password);

    const bool browser = which == QLatin1String("browser");
    const QString group = browser ? QStringLiteral("web/") : QStringLiteral("remote/");
    const QString word = browser ? QStringLiteral("Browser") : QStringLiteral("Remote");
    const QString onTip = browser ? QStringLiteral("Listening on http://127.0.0.1:%1/")
                                  : QStringLiteral("Listening on 127.0.0.1:%1");
    TemporarySettings settings;
    Pty pty;
    const quint16 port = storeRemote(settings, QString::fromLocal8Bit(pty.slavePath), enabled && !browser);
    QVERIFY(port);
    settings.store(group + QStringLiteral("enabled"), enabled);
    settings.store(group + QStringLiteral("port"), port);
    QTcpServer other;
    if (held)
        QVERIFY(other.listen(QHostAddress::LocalHost, port));
    settings.store(group + QStringLiteral("allowed"), allowed);

    ModalAnswerer answerer;
    LumivaneMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStatusBar *bar = window.statusBar();
    auto *link = bar->findChild<QLabel *>(QStringLiteral("link"));
    const auto shown = [bar, word] {
        QStringList texts;
        for (const QLabel *label : bar->findChildren<QLabel *>()) {
            // A message may say more, for its time.
            if (label->isVisible() && label->objectName() != QStringLiteral("message")
                && label->text().contains(word, Qt::CaseInsensitive))
                texts << label->text();
        }
        return texts;
    };
    const auto check = [&](const QString &text, const QString &tip) {
        if (text.isEmpty()) {
            QCOMPARE(shown(), QStringList());
            return;
        }
        QTRY_COMPARE(shown(), QStringList { text.arg(port) });
        const auto *indicator = bar->findChild<QLabel *>(browser ? QStringLiteral("web") : QStringLiteral("remote"));
        // Laid out before it is painted, not always before the text is set.
        QTRY_VERIFY(indicator->fontMetrics().horizontalAdvance(indicator->text()) <= indicator->contentsRect().width());
        QVERIFY(indicator->geometry().right() < link->geometry().left());
        QVERIFY2(indicator->toolTip().startsWith(tip.arg(port)), qPrintable(indicator->toolTip()));
    };
    check(text, tip);
    QVERIFY(link->isVisible());

    answerer.then([&](QWidget *dialog) {
        // A check failing here returns at once; the dialog must not stay.
        const auto closeDialog = qScopeGuard([dialog] {
            if (dialog->isVisible())
                static_cast<QDialog *>(dialog)->reject();
        });
        auto *accept = dialog->findChild<QCheckBox *>();
        QCOMPARE(accept->text(), browser ? QStringLiteral("Browser panel on") : QStringLiteral("Accept remote commands"));
        if (browser && text == QLatin1String("Browser: on")) {
            QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("webStatus"))->text(),
                     tip.arg(port) + QStringLiteral("\nOpen http://127.0.0.1:%1/ in a browser").arg(port));
        }
        accept->setFocus();
        QTest::keyClick(accept, Qt::Key_Space);
        if (!password.isEmpty()) {
            const auto *state = dialog->findChild<QLabel *>(QStringLiteral("passwordState"));
            const auto *note = dialog->findChild<QLabel *>(QStringLiteral("othersNote"));
            QCheckBox *others = nullptr;
            for (QCheckBox *box : dialog->findChildren<QCheckBox *>()) {
                if (box->text() == QLatin1String("Also from other computers"))
                    others = box;
            }
            QVERIFY(others);
            QCOMPARE(state->text(), QStringLiteral("Password: none"));
            const QString noteText = QStringLiteral("Other computers are let in once a password is set.");
            QCOMPARE(note->text(), QString());
            others->click();
            QCOMPARE(note->text(), noteText);
            ModalAnswerer::click(QStringLiteral("Set Password..."))(dialog);
            const bool same = password[0] == password[1];
            QCOMPARE(state->text(), same ? QStringLiteral("Password: set") : QStringLiteral("Password: none"));
            QCOMPARE(note->text(), same ? QString() : noteText);
            // Only this computer here: the test listens on no other address.
            others->click();
        }
        ModalAnswerer::click(button)(dialog);
    });
    if (!password.isEmpty()) {
        answerer.then([password](QWidget *box) {
            const auto closeBox = qScopeGuard([box] {
                if (box->isVisible())
                    static_cast<QDialog *>(box)->reject();
            });
            const QList<QLineEdit *> fields = box->findChildren<QLineEdit *>();
            QCOMPARE(fields.size(), 2);
            for (int k = 0; k < 2; ++k) {
                QCOMPARE(fields[k]->echoMode(), QLineEdit::Password);
                fields[k]->setText(password[k]);
            }
            ModalAnswerer::click(QStringLiteral("OK"))(box);
            if (password[0] == password[1])
                return;
            // Said, and nothing kept: the box waits for another try.
            QVERIFY(box->isVisible());
            QCOMPARE(box->findChild<QLabel *>(QStringLiteral("passwordProblem"))->text(),
                     QStringLiteral("The two passwords differ; type them again."));
            QCOMPARE(fields[0]->text(), QString());
            ModalAnswerer::click(QStringLiteral("Cancel"))(box);
        });
    }
    (browser ? window.fileBrowserPanelAction : window.fileRemoteAction)->trigger();
    QCOMPARE(answerer.seen.size(), password.isEmpty() ? 1 : 2);
    QCOMPARE(settings.stored(group + QStringLiteral("enabled")).toBool(), enabled != (button == QLatin1String("OK")));
    QCOMPARE(settings.stored(group + QStringLiteral("allowed")).toString(), allowed);
    if (browser) {
        const bool set = button == QLatin1String("OK") && !password.isEmpty() && password[0] == password[1];
        const QString hash = settings.stored(QStringLiteral("web/passwordHash")).toString();
        QCOMPARE(!hash.isEmpty(), set);
        QVERIFY(!hash.contains(QStringLiteral("Foyer")));
    }
    if (button != QLatin1String("OK"))
        check(text, tip);
    else if (enabled)
        check(QString(), QString());
    else
        check(word + QStringLiteral(": on"), onTip);
}

QTEST_MAIN(tst_Remote)
#include "tst_remote.moc"
