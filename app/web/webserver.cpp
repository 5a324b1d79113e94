// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "webserver.h"

#include "httprequest.h"
#include "panel/panel.h"
#include "remote/textcommand.h"
#include "webrules.h"

#include <QFile>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr QByteArrayView json = "application/json";
constexpr QByteArrayView text = "text/plain; charset=utf-8";

// The page and what it loads, from the program's resources: nothing comes
// from elsewhere, so it works with no internet.
QByteArray resource(const QString &name)
{
    QFile file(QStringLiteral(":/web/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

WebServer::WebServer(Panel &panel, QObject *parent)
    : QObject(parent), mPanel(panel)
{
    mServer.setMaxPendingConnections(maxConnections);
    connect(&mServer, &QTcpServer::pendingConnectionAvailable, this, &WebServer::accept);
    connect(&panel, &Panel::sent, this, &WebServer::push);
    connect(&panel, &Panel::linkChanged, this, &WebServer::push);
    connect(&panel, &Panel::lockedChanged, this, &WebServer::push);
    connect(&panel, &Panel::timetableChanged, this, &WebServer::push);
}

WebServer::~WebServer()
{
    close();
}

bool WebServer::listen(const QHostAddress &address, quint16 port)
{
    close();
    return mServer.listen(address, port);
}

void WebServer::close()
{
    mServer.close();
    while (!mConnections.empty())
        drop(mConnections.begin()->first);
}

QStringList WebServer::hostNames() const
{
    QStringList names { QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("::1"),
                        QHostInfo::localHostName() };
    const QHostAddress listened = mServer.serverAddress();
    if (listened != QHostAddress::Any && listened != QHostAddress::AnyIPv6 && listened != QHostAddress::AnyIPv4)
        names << listened.toString();
    return names + mExtraNames;
}

void WebServer::accept()
{
    while (QTcpSocket *socket = mServer.nextPendingConnection()) {
        // Past the bound, a newcomer is told so and let go; those already
        // in keep their turn.
        if (mConnections.size() >= std::size_t(maxConnections)) {
            socket->write(WebRules::response(503, text, "too many connections\n", true, false));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        Connection &connection = mConnections[socket];
        connection.reader = std::make_unique<HttpRequestReader>();
        connection.timer = new QTimer(socket);
        connection.timer->setSingleShot(true);
        connection.timer->start(headMs);
        connect(connection.timer, &QTimer::timeout, this, [this, socket] { drop(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void WebServer::read(QTcpSocket *socket)
{
    const auto found = mConnections.find(socket);
    if (found == mConnections.end())
        return;
    Connection &connection = found->second;
    // Read in bounded pieces; the reader keeps no more than its bounds.
    while (socket->bytesAvailable() > 0 && mConnections.count(socket)) {
        const QByteArray bytes = socket->read(16 * 1024);
        for (const HttpRequest &request : connection.reader->feed(bytes)) {
            serve(socket, request);
            if (!mConnections.count(socket) || connection.streaming)
                return;
        }
        if (const auto fault = connection.reader->fault(); fault != HttpRequestReader::Fault::None) {
            send(socket, WebRules::response(int(fault), text, WebRules::reason(int(fault)) + '\n', true, false),
                 false);
            return;
        }
    }
    if (mConnections.count(socket) && !connection.streaming)
        connection.timer->start(connection.reader->partial() ? headMs : idleMs);
}

void WebServer::serve(QTcpSocket *socket, const HttpRequest &request)
{
    const bool keepAlive = request.keepAlive;
    if (const int status = WebRules::refusal(request, hostNames(), mServer.serverPort())) {
        send(socket, WebRules::response(status, text, WebRules::reason(status) + '\n', true, false), false);
        return;
    }
    const qsizetype query = request.target.indexOf('?');
    const QByteArray path = query < 0 ? request.target : request.target.left(query);
    const bool get = request.method == "GET";
    if (path == "/api/command") {
        if (request.method != "POST") {
            send(socket, WebRules::response(405, text, "error: POST a command\n", true, keepAlive), keepAlive);
            return;
        }
        const QByteArray line = request.body.trimmed();
        const TextCommand::Parsed parsed = TextCommand::parse(line);
        QByteArray reply;
        int status = 200;
        if (!parsed.ok) {
            reply = parsed.error;
            status = 400;
        } else {
            reply = mPanel.run(parsed.command, Source::web(socket->peerAddress().toString()));
            // Understood but not carried out: the player's state stands against it.
            if (reply.startsWith("error"))
                status = 409;
        }
        send(socket, WebRules::response(status, text, reply + '\n', true, keepAlive), keepAlive);
        return;
    }
    if (!get) {
        send(socket, WebRules::response(405, text, "Method Not Allowed\n", true, keepAlive), keepAlive);
        return;
    }
    if (path == "/api/state") {
        send(socket, WebRules::response(200, json, stateJson(), true, keepAlive), keepAlive);
    } else if (path == "/api/names") {
        QJsonArray names;
        for (int id = 0; id < 128; ++id)
            names.append(mPanel.showName(id));
        send(socket, WebRules::response(200, json, QJsonDocument(names).toJson(QJsonDocument::Compact), true, keepAlive),
             keepAlive);
    } else if (path == "/api/events") {
        int streams = 0;
        for (const auto &[other, connection] : mConnections)
            streams += connection.streaming ? 1 : 0;
        if (streams >= maxStreams) {
            send(socket, WebRules::response(503, text, "too many streams\n", true, false), false);
            return;
        }
        Connection &connection = mConnections[socket];
        connection.streaming = true;
        connection.timer->stop();
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                      "Content-Security-Policy: default-src 'self'\r\nX-Content-Type-Options: nosniff\r\n"
                      "Referrer-Policy: no-referrer\r\nConnection: keep-alive\r\n\r\n"
                      "retry: 1000\n\ndata: " + stateJson() + "\n\n");
    } else if (path == "/" || path == "/index.html") {
        send(socket, WebRules::response(200, "text/html; charset=utf-8", resource(QStringLiteral("index.html")), false,
                                        keepAlive),
             keepAlive);
    } else if (path == "/panel.js") {
        send(socket, WebRules::response(200, "text/javascript; charset=utf-8", resource(QStringLiteral("panel.js")),
                                        false, keepAlive),
             keepAlive);
    } else if (path == "/panel.css") {
        send(socket, WebRules::response(200, "text/css; charset=utf-8", resource(QStringLiteral("panel.css")), false,
                                        keepAlive),
             keepAlive);
    } else {
        send(socket, WebRules::response(404, text, "Not Found\n", true, keepAlive), keepAlive);
    }
}

// A reader that takes nothing is let go once what waits for it passes
// the cap, rather than held in memory for ever.
void WebServer::send(QTcpSocket *socket, const QByteArray &bytes, bool keepAlive)
{
    socket->write(bytes);
    if (!keepAlive || socket->bytesToWrite() > maxWaiting) {
        socket->disconnectFromHost();
        mConnections.erase(socket);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
    }
}

void WebServer::push()
{
    const QByteArray event = "data: " + stateJson() + "\n\n";
    std::vector<QTcpSocket *> slow;
    for (const auto &[socket, connection] : mConnections) {
        if (!connection.streaming)
            continue;
        socket->write(event);
        if (socket->bytesToWrite() > maxWaiting)
            slow.push_back(socket);
    }
    for (QTcpSocket *socket : slow)
        drop(socket);
}

void WebServer::drop(QTcpSocket *socket)
{
    if (!mConnections.erase(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

QByteArray WebServer::stateJson() const
{
    QJsonObject state;
    const std::optional<int> show = mPanel.playerShow();
    state.insert(QStringLiteral("show"), show && *show > 0 ? QJsonValue(*show) : QJsonValue());
    state.insert(QStringLiteral("off"), show && *show == 0);
    const std::optional<int> brightness = mPanel.playerBrightness();
    state.insert(QStringLiteral("brightness"), brightness ? QJsonValue(*brightness) : QJsonValue());
    state.insert(QStringLiteral("link"), mPanel.link().text);
    state.insert(QStringLiteral("locked"), mPanel.locked());
    const StatusText next = mPanel.nextText();
    state.insert(QStringLiteral("next"), next.shown ? QJsonValue(next.text) : QJsonValue());
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}
