// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/panel.h"
#include "pty.h"
#include "temporarysettings.h"
#include "web/httprequest.h"
#include "web/password.h"
#include "web/webrules.h"
#include "web/webserver.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <QTest>

class tst_Web : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void gate_data();
    void gate();
    void served_data();
    void served();
    void liveState();
    void login();
    void password_data();
    void password();
};

using Fault = HttpRequestReader::Fault;
Q_DECLARE_METATYPE(Fault)

void tst_Web::requests_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QStringList>("read"); // "METHOD target body"
    QTest::addColumn<Fault>("fault");

    const QByteArray command = "POST /api/command HTTP/1.1\r\nHost: a\r\nContent-Type: text/plain\r\n"
                               "X-Lumivane-Request: 1\r\nContent-Length: 7\r\n\r\nshow 37";
    QTest::newRow("a GET") << QList<QByteArray> { "GET /api/state HTTP/1.1\r\nHost: a\r\n\r\n" }
                           << QStringList { "GET /api/state " } << Fault::None;
    QTest::newRow("a POST with its body") << QList<QByteArray> { command } << QStringList { "POST /api/command show 37" }
                                          << Fault::None;
    // A byte at a time, as a slow link may hand it over.
    QList<QByteArray> bytes;
    for (const char c : command)
        bytes << QByteArray(1, c);
    QTest::newRow("a byte at a time") << bytes << QStringList { "POST /api/command show 37" } << Fault::None;
    QTest::newRow("two in one read") << QList<QByteArray> { command + "GET / HTTP/1.1\r\nHost: a\r\n\r\n" }
                                     << QStringList { "POST /api/command show 37", "GET / " } << Fault::None;
    QTest::newRow("not HTTP") << QList<QByteArray> { "show 37\r\n\r\n" } << QStringList {} << Fault::Malformed;
    QTest::newRow("a head past 8 KiB")
        << QList<QByteArray> { "GET / HTTP/1.1\r\nX-A: " + QByteArray(8 * 1024, 'a') + "\r\n\r\n" } << QStringList {}
        << Fault::HeadTooLarge;
    QTest::newRow("many short headers past 8 KiB")
        << QList<QByteArray> { "GET / HTTP/1.1\r\n" + QByteArray("A: b\r\n").repeated(2000) + "\r\n" } << QStringList {}
        << Fault::HeadTooLarge;
    QTest::newRow("a body announced past 4 KiB")
        << QList<QByteArray> { "POST / HTTP/1.1\r\nContent-Length: 4097\r\n\r\n" } << QStringList {} << Fault::BodyTooLarge;
    QTest::newRow("a chunked body past 4 KiB")
        << QList<QByteArray> { "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                               + QByteArray("800\r\n" + QByteArray(0x800, 'x') + "\r\n").repeated(3) }
        << QStringList {} << Fault::BodyTooLarge;
}

// What a browser's request becomes, however it is cut; what no browser
// sends ends the reading, with the status it is answered with, and the
// reader never holds more than its bounds.
void tst_Web::requests()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, read);
    QFETCH(Fault, fault);

    HttpRequestReader reader;
    QStringList got;
    for (const QByteArray &piece : pieces) {
        for (const HttpRequest &request : reader.feed(piece))
            got << QString::fromLatin1(request.method + ' ' + request.target + ' ' + request.body);
    }
    QCOMPARE(got, read);
    QCOMPARE(reader.fault(), fault);
    if (fault == Fault::None)
        QVERIFY(!reader.partial());
}

void tst_Web::gate_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    const QByteArray post = "POST /api/command HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n";
    QTest::newRow("a GET from this computer") << QByteArray("GET / HTTP/1.1\r\nHost: localhost:8080\r\n\r\n") << 0;
    QTest::newRow("a name in any case, with its dot")
        << QByteArray("GET / HTTP/1.1\r\nHost: Foyer.local.:8080\r\n\r\n") << 0;
    QTest::newRow("the IPv6 loopback") << QByteArray("GET / HTTP/1.1\r\nHost: [::1]:8080\r\n\r\n") << 0;
    QTest::newRow("another site's name rebound here")
        << QByteArray("GET /api/state HTTP/1.1\r\nHost: evil.example:8080\r\n\r\n") << 421;
    QTest::newRow("another port") << QByteArray("GET / HTTP/1.1\r\nHost: localhost:80\r\n\r\n") << 421;
    QTest::newRow("no Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 421;
    QTest::newRow("a command from the page")
        << post + "Host: 127.0.0.1:8080\r\nX-Lumivane-Request: 1\r\nOrigin: http://127.0.0.1:8080\r\n\r\noff\n" << 0;
    QTest::newRow("a command without the header, as a form of another site posts it")
        << post + "Host: 127.0.0.1:8080\r\nOrigin: http://evil.example\r\n\r\noff\n" << 403;
    QTest::newRow("a command with the header from another origin")
        << post + "Host: 127.0.0.1:8080\r\nX-Lumivane-Request: 1\r\nOrigin: http://evil.example\r\n\r\noff\n" << 403;
    QTest::newRow("a command from an opaque origin")
        << post + "Host: 127.0.0.1:8080\r\nX-Lumivane-Request: 1\r\nOrigin: null\r\n\r\noff\n" << 403;
    QTest::newRow("a command from a tool that sends no Origin")
        << post + "Host: 127.0.0.1:8080\r\nX-Lumivane-Request: 1\r\n\r\noff\n" << 0;
}

void tst_Web::gate()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);

    HttpRequestReader reader;
    const QList<HttpRequest> read = reader.feed(request);
    QCOMPARE(read.size(), 1);
    const QStringList names { QStringLiteral("127.0.0.1"), QStringLiteral("::1"), QStringLiteral("localhost"),
                              QStringLiteral("foyer.local") };
    QCOMPARE(WebRules::refusal(read.first(), names, 8080), status);
}

namespace {

// One request on a fresh connection; the whole reply once the server closes
// it, or what came within five seconds. The server runs in this thread, so
// the waiting turns the event loop.
QByteArray ask(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray reply;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() != QAbstractSocket::UnconnectedState && !waited.hasExpired(5000)) {
        QTest::qWait(5);
        reply += socket.readAll();
    }
    return reply + socket.readAll();
}

struct Served
{
    QTemporaryDir data;
    TemporarySettings settings;
    Pty pty;
    std::unique_ptr<Panel> panel;
    WebListener *server = nullptr;

    explicit Served(const QString &setup = {})
    {
        WebConfig config;
        config.enabled = true;
        config.port = 0;
        config.viewOnly = setup == QLatin1String("view only");
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        settings.store(QStringLiteral("serialPort"), QString::fromLocal8Bit(pty.slavePath));
        panel = std::make_unique<Panel>();
        panel->start();
        // As the program has it: the server the panel loads, on any free port.
        panel->setWebConfig(config);
        server = &panel->web();
        if (setup == QLatin1String("password"))
            panel->setWebPassword(QStringLiteral("Foyer 2026!"));
    }
};

} // namespace

void tst_Web::served_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("head");   // the status line
    QTest::addColumn<QByteArray>("body");   // what the body holds
    QTest::addColumn<QByteArray>("wire");   // what reaches the player
    QTest::addColumn<QString>("setup");     // "", "view only", "password"

    const QByteArray command = "POST /api/command HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\n"
                               "Content-Type: text/plain\r\nContent-Length: 8\r\n";
    QTest::newRow("a show from the page")
        << command + "X-Lumivane-Request: 1\r\nOrigin: http://localhost:@\r\n\r\nshow 37\n"
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("ok show 37") << QByteArray("X0425") << QString();
    QTest::newRow("the same posted by another site's form")
        << command + "Origin: http://evil.example\r\n\r\nshow 37\n" << QByteArray("HTTP/1.1 403 Forbidden")
        << QByteArray() << QByteArray() << QString();
    QTest::newRow("a command the protocol does not know")
        << QByteArray("POST /api/command HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\nX-Lumivane-Request: 1\r\n"
                      "Content-Length: 8\r\n\r\nshow 200")
        << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray("error:") << QByteArray() << QString();
    QTest::newRow("the state")
        << QByteArray("GET /api/state HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("\"link\":\"Connected: ") << QByteArray() << QString();
    QTest::newRow("the names")
        << QByteArray("GET /api/names HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("[\"Show 1\",\"Show 2\",") << QByteArray() << QString();
    QTest::newRow("the page, served by itself")
        << QByteArray("GET / HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("<script src=\"/panel.js\"") << QByteArray() << QString();
    QTest::newRow("a name rebound to this computer")
        << QByteArray("GET /api/state HTTP/1.1\r\nHost: evil.example:@\r\n\r\n")
        << QByteArray("HTTP/1.1 421 Misdirected Request") << QByteArray() << QByteArray() << QString();
    QTest::newRow("a show while the panel is view only")
        << command + "X-Lumivane-Request: 1\r\n\r\nshow 37\n" << QByteArray("HTTP/1.1 403 Forbidden")
        << QByteArray("error: the browser panel is view only") << QByteArray() << QStringLiteral("view only");
    QTest::newRow("the state while view only")
        << QByteArray("GET /api/state HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("\"viewOnly\":true") << QByteArray() << QStringLiteral("view only");
    QTest::newRow("a show with a password set, not logged in")
        << command + "X-Lumivane-Request: 1\r\n\r\nshow 37\n" << QByteArray("HTTP/1.1 401 Unauthorized")
        << QByteArray("error: log in first") << QByteArray() << QStringLiteral("password");
    QTest::newRow("the page with a password set")
        << QByteArray("GET / HTTP/1.1\r\nHost: localhost:@\r\nConnection: close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("<script src=\"/panel.js\"") << QByteArray()
        << QStringLiteral("password");
}

// What a real client gets back over the loopback, and what reaches the
// player's end of the line.
void tst_Web::served()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, wire);
    QFETCH(QString, setup);

    Served served(setup);
    const quint16 port = served.server->port();
    QVERIFY(port != 0);
    const QByteArray reply = ask(port, request.replace('@', QByteArray::number(port)));
    QVERIFY2(reply.startsWith(head), reply.constData());
    QVERIFY(reply.contains("Content-Security-Policy: default-src 'self'\r\n"));
    QVERIFY(reply.contains("X-Content-Type-Options: nosniff\r\n"));
    QVERIFY2(reply.mid(reply.indexOf("\r\n\r\n")).contains(body), reply.constData());
    QCOMPARE(served.pty.read(), wire);
}

// A command from anywhere reaches an open stream of the page at once.
void tst_Web::liveState()
{
    Served served;
    const quint16 port = served.server->port();
    QTcpSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, port);
    stream.write("GET /api/events HTTP/1.1\r\nHost: localhost:" + QByteArray::number(port) + "\r\n\r\n");
    QByteArray got;
    QTRY_VERIFY((got += stream.readAll()).contains("data: {"));
    got.clear();
    QVERIFY(served.panel->dispatch(Command::show(12), Source::remote(QStringLiteral("192.0.2.7"))).queued());
    QTRY_VERIFY_WITH_TIMEOUT((got += stream.readAll()).contains("\"show\":12"), 1000);
    QCOMPARE(served.pty.read(), QByteArray("X040C"));
}

// The password's whole round: wrong guesses until the address must wait,
// a session that works, and its end once the password changes.
void tst_Web::login()
{
    Served served(QStringLiteral("password"));
    quint16 port = served.server->port();
    QByteArray host = "Host: localhost:" + QByteArray::number(port) + "\r\n";
    const auto logIn = [&](const QByteArray &body) {
        return ask(port, "POST /api/login HTTP/1.1\r\n" + host + "Connection: close\r\nX-Lumivane-Request: 1\r\n"
                   "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                   + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    };
    const auto state = [&](const QByteArray &cookie) {
        return ask(port, "GET /api/state HTTP/1.1\r\n" + host + "Connection: close\r\nCookie: " + cookie + "\r\n\r\n");
    };

    const QByteArray right = logIn("password=Foyer+2026%21");
    QVERIFY2(right.startsWith("HTTP/1.1 200 OK"), right.constData());
    const QRegularExpressionMatch set
        = QRegularExpression(QStringLiteral("Set-Cookie: (lumivane_session=[0-9a-f]+); HttpOnly; SameSite=Strict"))
              .match(QString::fromLatin1(right));
    QVERIFY2(set.hasMatch(), right.constData());
    const QByteArray cookie = set.captured(1).toLatin1();
    QVERIFY(state(cookie).startsWith("HTTP/1.1 200 OK"));
    QVERIFY(state("lumivane_session=0123").startsWith("HTTP/1.1 401"));

    for (int guess = 0; guess < 5; ++guess)
        QVERIFY(logIn("password=foyer").startsWith("HTTP/1.1 401"));
    // Even the right one waits now.
    QVERIFY(logIn("password=Foyer+2026%21").startsWith("HTTP/1.1 429"));

    QVERIFY(served.panel->setWebPassword(QStringLiteral("Hall 7")));
    // Listening anew, on another free port here.
    port = served.server->port();
    host = "Host: localhost:" + QByteArray::number(port) + "\r\n";
    QVERIFY(state(cookie).startsWith("HTTP/1.1 401"));
}

void tst_Web::password_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QByteArray>("stored"); // empty: the hash of "Foyer 2026!"
    QTest::addColumn<bool>("matches");

    QTest::newRow("the password") << QStringLiteral("Foyer 2026!") << QByteArray() << true;
    QTest::newRow("one letter off") << QStringLiteral("foyer 2026!") << QByteArray() << false;
    QTest::newRow("nothing") << QString() << QByteArray() << false;
    QTest::newRow("a stored value of another form") << QStringLiteral("Foyer 2026!") << QByteArray("Foyer 2026!")
                                                     << false;
    QTest::newRow("a count lowered by hand")
        << QStringLiteral("x") << QByteArray("pbkdf2-sha256$1$c2FsdHNhbHRzYWx0c2FsdA==$AAAA") << false;
}

void tst_Web::password()
{
    QFETCH(QString, given);
    QFETCH(QByteArray, stored);
    QFETCH(bool, matches);

    static const QByteArray made = Password::hash(QStringLiteral("Foyer 2026!"));
    if (stored.isEmpty()) {
        stored = made;
        QVERIFY(!stored.contains("Foyer"));
        // Salted: the same password never gives the same stored value.
        QVERIFY(Password::hash(QStringLiteral("Foyer 2026!")) != stored);
    }
    QCOMPARE(Password::matches(given, stored), matches);
}

QTEST_GUILESS_MAIN(tst_Web)
#include "tst_web.moc"
