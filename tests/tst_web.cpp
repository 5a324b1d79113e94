// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "web/httprequest.h"
#include "web/webrules.h"

#include <QTest>

class tst_Web : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void gate_data();
    void gate();
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

QTEST_GUILESS_MAIN(tst_Web)
#include "tst_web.moc"
