// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "web/httprequest.h"

#include <QTest>

class tst_Web : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
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

QTEST_GUILESS_MAIN(tst_Web)
#include "tst_web.moc"
