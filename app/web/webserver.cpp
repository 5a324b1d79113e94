// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "webserver.h"

#include "httprequest.h"
#include "password.h"
#include "remote/remoteserver.h"
#include "remote/textcommand.h"
#include "webrules.h"

#include <QDateTime>
#include <QFile>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
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

QByteArray answer(int status, QByteArrayView body, bool keepAlive, QByteArrayView extra = {})
{
    return WebRules::response(status, text, body.toByteArray() + '\n', true, keepAlive, extra);
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

WebServer::WebServer(QObject *parent)
    : QObject(parent)
{
    mChecks.setMaxThreadCount(1);
}

WebServer::~WebServer()
{
    mChecks.clear();
    mChecks.waitForDone();
    stop();
}

QString WebServer::allowedFault(const QString &allowed) const
{
    return RemoteServer::faultInAllowed(allowed);
}

QByteArray WebServer::hashPassword(const QString &password) const
{
    return Password::hash(password);
}

quint16 WebServer::port() const
{
    return mServers.isEmpty() ? 0 : mServers.constFirst()->serverPort();
}

QStringList WebServer::pageAddresses() const
{
    if (!listening())
        return {};
    const auto page = [this](const QString &host) { return QStringLiteral("http://%1:%2/").arg(host).arg(port()); };
    QStringList pages;
    if (mConfig.fromOtherComputers && mConfig.passwordSet) {
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                pages << page(address.toString());
        }
    }
    // A computer on no network yet is still reached from itself.
    if (pages.isEmpty())
        pages << page(QStringLiteral("127.0.0.1"));
    return pages;
}

void WebServer::stop()
{
    qDeleteAll(mServers);
    mServers.clear();
    while (!mConnections.empty())
        drop(mConnections.begin()->first);
    mStatus = QStringLiteral("The browser panel is off");
}

void WebServer::configure(const WebConfig &config)
{
    stop();
    mConfig = config;
    mHostNamesAge.invalidate();
    mPortInUse = false;
    if (!config.enabled)
        return;
    const auto allowed = RemoteServer::parseAllowed(config.allowed);
    if (!allowed) {
        mStatus = QStringLiteral("Not listening: ") + allowedFault(config.allowed);
        return;
    }
    mAllowed = *allowed;
    if (config.port < 0 || config.port > 65535) {
        mStatus = QStringLiteral("Not listening: %1 is not a port number").arg(config.port);
        return;
    }
    if (config.fromOtherComputers && config.passwordSet) {
        // Any is IPv4 and IPv6 at once; a system without IPv6 takes IPv4 alone.
        if (!listenOn(QHostAddress::Any, quint16(config.port)) && !mPortInUse)
            listenOn(QHostAddress::AnyIPv4, quint16(config.port));
        if (listening())
            mStatus = QStringLiteral("Listening on all addresses of this computer, port %1").arg(port());
        return;
    }
    if (!listenOn(QHostAddress::LocalHost, quint16(config.port)))
        return;
    // A system without IPv6 has no ::1; 127.0.0.1 alone then serves.
    listenOn(QHostAddress::LocalHostIPv6, port());
    mStatus = QStringLiteral("Listening on http://127.0.0.1:%1/").arg(port());
    if (config.fromOtherComputers)
        mStatus += QStringLiteral(" only: other computers are let in once a password is set");
}

bool WebServer::listenOn(const QHostAddress &address, quint16 port)
{
    auto server = std::make_unique<QTcpServer>(this);
    if (!server->listen(address, port)) {
        if (server->serverError() == QAbstractSocket::AddressInUseError) {
            mPortInUse = true;
            mStatus = QStringLiteral("Not listening: port %1 is in use by another program").arg(port);
        } else if (server->serverError() == QAbstractSocket::SocketAccessError) {
            mStatus = QStringLiteral("Not listening: port %1 may not be used by this user").arg(port);
        } else if (server->serverError() != QAbstractSocket::SocketAddressNotAvailableError
                   && server->serverError() != QAbstractSocket::UnsupportedSocketOperationError) {
            mStatus = QStringLiteral("Not listening: ") + server->errorString();
        } else {
            return false;
        }
        // One address of a pair refused: listen on neither rather than half.
        stop();
        mStatus = mPortInUse ? QStringLiteral("Not listening: port %1 is in use by another program").arg(port)
                             : mStatus;
        return false;
    }
    server->setMaxPendingConnections(maxConnections);
    QTcpServer *listener = server.release();
    connect(listener, &QTcpServer::pendingConnectionAvailable, this, [this, listener] { accept(listener); });
    mServers.append(listener);
    return true;
}

// Every address of this computer when other computers are let in: a phone
// asks for http://192.168.1.5:8080/ and sends that as the Host.
const QStringList &WebServer::hostNames()
{
    if (mHostNamesAge.isValid() && !mHostNamesAge.hasExpired(10000))
        return mHostNames;
    mHostNamesAge.start();
    QStringList &names = mHostNames;
    names = QStringList { QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("::1"),
                        QHostInfo::localHostName() };
    if (const QString domain = QHostInfo::localDomainName(); !domain.isEmpty())
        names << QHostInfo::localHostName() + QLatin1Char('.') + domain;
    if (mConfig.fromOtherComputers && mConfig.passwordSet) {
        for (const QHostAddress &address : QNetworkInterface::allAddresses())
            names << QHostAddress(address.toString().section(QLatin1Char('%'), 0, 0)).toString();
    }
    names += mConfig.hostNames.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    return mHostNames;
}

void WebServer::accept(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (!RemoteServer::isAllowed(mAllowed, socket->peerAddress())) {
            mRefusalJournal.refuse(RemoteServer::peerName(socket->peerAddress()), QStringLiteral("sender not allowed"));
            send(socket, answer(403, "error: sender not allowed", false), false);
            continue;
        }
        // Past the bound, a newcomer is told so and let go; those already
        // in keep their turn.
        if (mConnections.size() >= std::size_t(maxConnections)) {
            send(socket, answer(503, "error: too many connections", false), false);
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
    // Read in bounded pieces; the reader keeps no more than its bounds. A
    // password being checked holds the requests after it back.
    while (socket->bytesAvailable() > 0 && mConnections.count(socket) && !connection.checking) {
        const QByteArray bytes = socket->read(16 * 1024);
        for (const HttpRequest &request : connection.reader->feed(bytes)) {
            connection.headOnly = request.method == "HEAD";
            serve(socket, request);
            if (!mConnections.count(socket) || connection.streaming || connection.checking)
                return;
        }
        if (const auto fault = connection.reader->fault(); fault != HttpRequestReader::Fault::None) {
            send(socket, answer(int(fault), WebRules::reason(int(fault)), false), false);
            return;
        }
    }
    if (mConnections.count(socket) && !connection.streaming && !connection.checking)
        connection.timer->start(connection.reader->partial() ? headMs : idleMs);
}

void WebServer::serve(QTcpSocket *socket, const HttpRequest &request)
{
    const bool keepAlive = request.keepAlive;
    if (const int status = WebRules::refusal(request, hostNames(), socket->localPort())) {
        send(socket, answer(status, WebRules::reason(status), false), false);
        return;
    }
    const qsizetype query = request.target.indexOf('?');
    const QByteArray path = query < 0 ? request.target : request.target.left(query);
    const QString peer = RemoteServer::peerName(socket->peerAddress());
    const bool get = request.method == "GET" || request.method == "HEAD";

    if (path == "/api/login") {
        if (request.method != "POST")
            send(socket, answer(405, "error: POST the password", keepAlive), keepAlive);
        else
            login(socket, request, peer);
        return;
    }
    if (path.startsWith("/api/")) {
        const QByteArray hash = passwordHash ? passwordHash() : QByteArray();
        const QByteArray token = WebLogin::token(request);
        if (!hash.isEmpty() && !mLogin.valid(token, hash)) {
            send(socket, answer(401, "error: log in first", keepAlive), keepAlive);
            return;
        }
        if (path == "/api/logout" && request.method == "POST") {
            mLogin.close(token);
            send(socket, answer(200, "ok", keepAlive, "Set-Cookie: lumivane_session=; Max-Age=0; Path=/\r\n"),
                 keepAlive);
        } else if (path == "/api/command" && request.method == "POST") {
            command(socket, request, peer);
        } else if (!get) {
            send(socket, answer(405, "error: not a thing to post", keepAlive), keepAlive);
        } else if (path == "/api/state") {
            send(socket, WebRules::response(200, json, stateJson(), true, keepAlive), keepAlive);
        } else if (path == "/api/names") {
            const QJsonArray list = QJsonArray::fromStringList(names ? names() : QStringList());
            send(socket, WebRules::response(200, json, QJsonDocument(list).toJson(QJsonDocument::Compact), true, keepAlive),
                 keepAlive);
        } else if (path == "/api/events") {
            stream(socket, token);
        } else {
            send(socket, answer(404, "error: no such thing", keepAlive), keepAlive);
        }
        return;
    }
    static const QHash<QByteArray, QPair<QString, QByteArray>> files {
        { "/", { QStringLiteral("index.html"), "text/html; charset=utf-8" } },
        { "/index.html", { QStringLiteral("index.html"), "text/html; charset=utf-8" } },
        { "/panel.js", { QStringLiteral("panel.js"), "text/javascript; charset=utf-8" } },
        { "/panel.css", { QStringLiteral("panel.css"), "text/css; charset=utf-8" } },
    };
    const auto file = files.constFind(path);
    if (!get)
        send(socket, answer(405, WebRules::reason(405), keepAlive), keepAlive);
    else if (file == files.cend())
        send(socket, answer(404, WebRules::reason(404), keepAlive), keepAlive);
    else
        send(socket, WebRules::response(200, file->second, resource(file->first), false, keepAlive), keepAlive);
}

void WebServer::command(QTcpSocket *socket, const HttpRequest &request, const QString &peer)
{
    const bool keepAlive = request.keepAlive;
    const TextCommand::Parsed parsed = TextCommand::parse(request.body.trimmed());
    if (!parsed.ok) {
        send(socket, answer(400, parsed.error, keepAlive), keepAlive);
        return;
    }
    // Watching is not acting: the state may be asked, nothing else.
    if (mConfig.viewOnly && parsed.command.kind != RemoteCommand::Kind::State) {
        mRefusalJournal.refuse(peer, QStringLiteral("the browser panel is view only"));
        send(socket, answer(403, "error: the browser panel is view only", keepAlive), keepAlive);
        return;
    }
    const QByteArray reply = execute ? execute(parsed.command, peer) : QByteArray("error: not ready");
    // Understood but not carried out: the player's state stands against it.
    send(socket, answer(reply.startsWith("error") ? 409 : 200, reply, keepAlive), keepAlive);
}

// The hash is slow on purpose; it runs off the panel's thread so a login
// never holds a show back, and the connection waits for it.
void WebServer::login(QTcpSocket *socket, const HttpRequest &request, const QString &peer)
{
    const bool keepAlive = request.keepAlive;
    if (mLogin.blocked(peer, nowMs())) {
        send(socket, answer(429, "error: too many wrong passwords; wait a minute", keepAlive), keepAlive);
        return;
    }
    const std::optional<QString> given = WebLogin::password(request);
    if (!given) {
        send(socket, answer(400, "error: send password=…", keepAlive), keepAlive);
        return;
    }
    const QByteArray hash = passwordHash ? passwordHash() : QByteArray();
    if (hash.isEmpty()) {
        send(socket, answer(200, "ok no password is needed", keepAlive), keepAlive);
        return;
    }
    if (std::count_if(mConnections.begin(), mConnections.end(), [](const auto &c) { return c.second.checking; })
        >= maxChecks) {
        send(socket, answer(503, "error: too many logins at once; try again", false), false);
        return;
    }
    Connection &connection = mConnections[socket];
    connection.checking = true;
    connection.timer->stop();
    QPointer<QTcpSocket> guarded(socket);
    mChecks.start([this, guarded, peer, given = *given, hash, keepAlive] {
        const bool matches = Password::matches(given, hash);
        QMetaObject::invokeMethod(this, [this, guarded, peer, matches, hash, keepAlive] {
            if (guarded)
                loginChecked(guarded, peer, matches, hash, keepAlive);
        }, Qt::QueuedConnection);
    });
}

void WebServer::loginChecked(QTcpSocket *socket, const QString &peer, bool matches, const QByteArray &hash,
                             bool keepAlive)
{
    const auto found = mConnections.find(socket);
    if (found == mConnections.end())
        return;
    found->second.checking = false;
    if (!matches) {
        mLogin.wrong(peer, nowMs());
        mRefusalJournal.refuse(peer, QStringLiteral("wrong password"));
        send(socket, answer(401, "error: wrong password", keepAlive), keepAlive);
    } else {
        const QByteArray cookie = "Set-Cookie: " + QByteArray(WebLogin::cookieName) + '=' + mLogin.open(hash)
            + "; HttpOnly; SameSite=Strict; Path=/\r\n";
        send(socket, answer(200, "ok", keepAlive, cookie), keepAlive);
    }
    // What came after the login waited for it.
    if (mConnections.count(socket)) {
        mConnections[socket].timer->start(idleMs);
        QTimer::singleShot(0, socket, [this, socket] { read(socket); });
    }
}

void WebServer::stream(QTcpSocket *socket, const QByteArray &session)
{
    if (mConnections[socket].headOnly) {
        send(socket, WebRules::response(200, "text/event-stream", {}, true, false), false);
        return;
    }
    int streams = 0;
    for (const auto &[other, connection] : mConnections)
        streams += connection.streaming ? 1 : 0;
    if (streams >= maxStreams) {
        send(socket, answer(503, "error: too many streams", false), false);
        return;
    }
    Connection &connection = mConnections[socket];
    connection.streaming = true;
    connection.session = session;
    connection.timer->stop();
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                  "Content-Security-Policy: default-src 'self'\r\nX-Content-Type-Options: nosniff\r\n"
                  "Referrer-Policy: no-referrer\r\nConnection: keep-alive\r\n\r\n"
                  "retry: 1000\n\ndata: " + stateJson() + "\n\n");
}

// A reader that takes nothing is let go once what waits for it passes
// the cap, rather than held in memory for ever.
void WebServer::send(QTcpSocket *socket, const QByteArray &bytes, bool keepAlive)
{
    const auto found = mConnections.find(socket);
    if (found != mConnections.end() && found->second.headOnly)
        socket->write(bytes.left(bytes.indexOf("\r\n\r\n") + 4));
    else
        socket->write(bytes);
    if (!keepAlive || socket->bytesToWrite() > maxWaiting) {
        socket->disconnectFromHost();
        mConnections.erase(socket);
        socket->disconnect(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
    }
}

void WebServer::stateChanged()
{
    if (listening())
        push("data: " + stateJson() + "\n\n");
}

void WebServer::namesChanged()
{
    if (listening() && names)
        push("event: names\ndata: " + QJsonDocument(QJsonArray::fromStringList(names())).toJson(QJsonDocument::Compact)
             + "\n\n");
}

// A stream whose session a new password ended is closed; the page then
// asks for the password again.
void WebServer::push(const QByteArray &event)
{
    const QByteArray hash = passwordHash ? passwordHash() : QByteArray();
    std::vector<QTcpSocket *> gone;
    for (const auto &[socket, connection] : mConnections) {
        if (!connection.streaming)
            continue;
        if (!hash.isEmpty() && !mLogin.valid(connection.session, hash)) {
            gone.push_back(socket);
            continue;
        }
        socket->write(event);
        if (socket->bytesToWrite() > maxWaiting)
            gone.push_back(socket);
    }
    for (QTcpSocket *socket : gone)
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
    QJsonObject object = state ? state() : QJsonObject();
    object.insert(QStringLiteral("viewOnly"), mConfig.viewOnly);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
