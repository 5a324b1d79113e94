#include "remoteserver.h"

#include "osc.h"
#include "textcommand.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

// An IPv4 peer reaching a dual-stack socket arrives as ::ffff:a.b.c.d; it is
// matched and named as the IPv4 address it is.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

QString named(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
}

} // namespace

std::optional<QList<RemoteServer::Subnet>> RemoteServer::parseAllowed(const QString &text)
{
    QList<Subnet> subnets;
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    for (const QString &word : text.split(separators, Qt::SkipEmptyParts)) {
        Subnet subnet = word.contains(QLatin1Char('/')) ? QHostAddress::parseSubnet(word)
                                                        : Subnet { QHostAddress(word), -1 };
        if (subnet.first.isNull())
            return std::nullopt;
        if (subnet.second < 0)
            subnet.second = subnet.first.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        subnets.append(subnet);
    }
    return subnets;
}

bool RemoteServer::isAllowed(const QList<Subnet> &allowed, const QHostAddress &peer)
{
    if (allowed.isEmpty())
        return true;
    const QHostAddress address = plain(peer);
    for (const Subnet &subnet : allowed) {
        if (address.isInSubnet(subnet))
            return true;
    }
    return false;
}

RemoteServer::RemoteServer(QObject *parent)
    : QObject(parent)
{
    stop();
}

RemoteServer::~RemoteServer() = default;

bool RemoteServer::listening() const
{
    return !mUdp.isEmpty();
}

void RemoteServer::stop()
{
    qDeleteAll(mClients);
    mClients.clear();
    qDeleteAll(mUdp);
    mUdp.clear();
    qDeleteAll(mTcp);
    mTcp.clear();
    mQueued.clear();
    mAllowed.clear();
    mStatus = QStringLiteral("Remote control is off");
}

void RemoteServer::configure(const Config &config)
{
    stop();
    mPortInUse = false;
    if (!config.enabled)
        return;
    const std::optional<QList<Subnet>> allowed = parseAllowed(config.allowed);
    if (!allowed) {
        mStatus = QStringLiteral("Not listening: the allowed addresses are not all addresses or prefixes");
        return;
    }
    mAllowed = *allowed;

    const int port = config.port;
    if (port < 1 || port > 65535) {
        mStatus = QStringLiteral("Not listening: %1 is not a port number").arg(port);
        return;
    }
    QString why;
    if (config.fromOtherComputers) {
        // Any is IPv4 and IPv6 at once; a system without IPv6 takes IPv4 alone.
        if (!listenOn(QHostAddress::Any, port, why) && (!why.isEmpty() || !listenOn(QHostAddress::AnyIPv4, port, why))) {
            stop();
            mStatus = why.isEmpty() ? QStringLiteral("Not listening: this computer has no network address") : why;
            return;
        }
        mStatus = QStringLiteral("Listening on all addresses of this computer, port %1 (UDP and TCP)").arg(port);
        return;
    }
    QStringList where;
    if (!listenOn(QHostAddress::LocalHost, port, why)) {
        stop();
        mStatus = why.isEmpty() ? QStringLiteral("Not listening: 127.0.0.1 is not available") : why;
        return;
    }
    where << QStringLiteral("127.0.0.1:%1").arg(port);
    // A system without IPv6 has no ::1; 127.0.0.1 alone then serves.
    if (listenOn(QHostAddress::LocalHostIPv6, port, why))
        where << QStringLiteral("[::1]:%1").arg(port);
    else if (!why.isEmpty()) {
        stop();
        mStatus = why;
        return;
    }
    mStatus = QStringLiteral("Listening on %1 (UDP and TCP)").arg(where.join(QStringLiteral(" and ")));
}

// False with why empty when the address does not exist here; false with why
// set when it does and the port cannot be had.
bool RemoteServer::listenOn(const QHostAddress &address, int port, QString &why)
{
    why.clear();
    const auto explain = [&](QAbstractSocket::SocketError error, const QString &text) {
        if (error == QAbstractSocket::AddressInUseError) {
            why = QStringLiteral("Port %1 is in use by another program").arg(port);
            mPortInUse = true;
        } else if (error == QAbstractSocket::SocketAccessError)
            why = QStringLiteral("Port %1 may not be used by this user").arg(port);
        else if (error != QAbstractSocket::SocketAddressNotAvailableError
                 && error != QAbstractSocket::UnsupportedSocketOperationError)
            why = QStringLiteral("Not listening on %1:%2: %3").arg(named(address)).arg(port).arg(text);
    };

    auto udp = std::make_unique<QUdpSocket>(this);
    // Shared, a second program could take the same port and half the datagrams.
    if (!udp->bind(address, quint16(port), QAbstractSocket::DontShareAddress)) {
        explain(udp->error(), udp->errorString());
        return false;
    }
    auto tcp = std::make_unique<QTcpServer>(this);
    if (!tcp->listen(address, quint16(port))) {
        explain(tcp->serverError(), tcp->errorString());
        return false;
    }
    tcp->setMaxPendingConnections(maxClients);

    QUdpSocket *socket = udp.release();
    connect(socket, &QUdpSocket::readyRead, this, [this, socket] { readDatagrams(socket); });
    mUdp.append(socket);
    QTcpServer *server = tcp.release();
    connect(server, &QTcpServer::newConnection, this, [this, server] { acceptClients(server); });
    mTcp.append(server);
    return true;
}

std::optional<QString> RemoteServer::allowedPeer(const QHostAddress &peer)
{
    if (!isAllowed(mAllowed, peer))
        return std::nullopt;
    return plain(peer).toString();
}

void RemoteServer::later(QObject *source, const std::function<void()> &work)
{
    if (mQueued.contains(source))
        return;
    mQueued.insert(source);
    QTimer::singleShot(0, source, [this, source, work] {
        mQueued.remove(source);
        work();
    });
}

void RemoteServer::readDatagrams(QUdpSocket *socket)
{
    char scrap = 0;
    for (int n = 0; n < perTurn && socket->hasPendingDatagrams(); ++n) {
        const qint64 size = socket->pendingDatagramSize();
        QHostAddress from;
        if (size < 0 || size > maxDatagram) {
            // Read into one byte: the system drops the rest.
            socket->readDatagram(&scrap, 1);
            ++mIgnored;
            continue;
        }
        QByteArray packet(size, Qt::Uninitialized);
        if (socket->readDatagram(packet.data(), size, &from) != size) {
            ++mIgnored;
            continue;
        }
        const std::optional<QString> peer = allowedPeer(from);
        if (!peer) {
            ++mIgnored;
            continue;
        }
        const Osc::Decoded decoded = Osc::decode(packet);
        mIgnored += decoded.ignored;
        for (const RemoteCommand &command : decoded.commands) {
            if (!execute || execute(command, *peer).startsWith("error"))
                ++mIgnored;
        }
    }
    // What is left waits for the next turn of the event loop: each datagram
    // read turns Qt's read notifier on again, so readyRead comes back while
    // any wait. A timer here as well would be wrong: a readyRead that found
    // the timer had read everything reads nothing, and Qt then never signals
    // that socket again.
}

void RemoteServer::acceptClients(QTcpServer *server)
{
    while (QTcpSocket *client = server->nextPendingConnection()) {
        const std::optional<QString> peer = allowedPeer(client->peerAddress());
        if (!peer || mClients.size() >= maxClients) {
            ++mIgnored;
            if (peer)
                client->write("error: too many connections\n");
            client->disconnectFromHost();
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            if (client->state() == QAbstractSocket::UnconnectedState)
                client->deleteLater();
            continue;
        }
        client->setProperty("peer", *peer);
        // Qt stops reading from the system once this much waits: a sender
        // without line ends cannot make the buffer grow.
        client->setReadBufferSize(4 * maxLine);
        mClients.append(client);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { readLines(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            mClients.removeOne(client);
            mQueued.remove(client);
            client->deleteLater();
        });
        readLines(client);
    }
}

void RemoteServer::readLines(QTcpSocket *client)
{
    for (int n = 0; n < perTurn; ++n) {
        if (client->state() != QAbstractSocket::ConnectedState)
            return;
        if (!client->canReadLine()) {
            if (client->bytesAvailable() > maxLine + 1)
                refuseLine(client, "error: line longer than 1024 bytes");
            return;
        }
        // The line, its CR and LF, and one byte to tell a line too long.
        QByteArray line = client->readLine(maxLine + 3);
        if (!line.endsWith('\n')) {
            refuseLine(client, "error: line longer than 1024 bytes");
            return;
        }
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLine) {
            refuseLine(client, "error: line longer than 1024 bytes");
            return;
        }
        const TextCommand::Parsed parsed = TextCommand::parse(line);
        QByteArray reply = parsed.error;
        if (parsed.ok)
            reply = execute ? execute(parsed.command, client->property("peer").toString()) : QByteArray("error: not ready");
        if (reply.startsWith("error"))
            ++mIgnored;
        client->write(reply + '\n');
        // Handed to the system now: a peer that sends its lines and shuts
        // its side at once (nc -N) makes Qt close the socket as soon as it
        // reads the end, dropping replies still in Qt's own buffer.
        client->flush();
    }
    if (client->canReadLine())
        later(client, [this, client] { readLines(client); });
}

void RemoteServer::refuseLine(QTcpSocket *client, const QByteArray &why)
{
    ++mIgnored;
    client->write(why + '\n');
    client->disconnectFromHost();
}
