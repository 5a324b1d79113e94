// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "remoteserver.h"

#include "osc.h"
#include "textcommand.h"

#include <QRegularExpression>
#include <QTcpServer>
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

std::optional<QList<RemoteServer::Subnet>> RemoteServer::parseAllowed(const QString &text, QString *bad)
{
    QList<Subnet> subnets;
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    for (const QString &word : text.split(separators, Qt::SkipEmptyParts)) {
        const auto refused = [&] {
            if (bad)
                *bad = word;
            return std::nullopt;
        };
        Subnet subnet = word.contains(QLatin1Char('/')) ? QHostAddress::parseSubnet(word)
                                                        : Subnet { QHostAddress(word), -1 };
        if (subnet.first.isNull())
            return refused();
        // Written as peers arrive (::ffff:a.b.c.d), it names the IPv4 address
        // they are matched as.
        const bool mapped = subnet.first.protocol() == QAbstractSocket::IPv6Protocol
            && plain(subnet.first).protocol() == QAbstractSocket::IPv4Protocol;
        if (mapped) {
            if (subnet.second >= 0 && subnet.second < 96)
                return refused();
            subnet = { plain(subnet.first), subnet.second < 0 ? -1 : subnet.second - 96 };
        }
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

QString RemoteServer::allowedFault(const QString &allowed) const
{
    return faultInAllowed(allowed);
}

QString RemoteServer::faultInAllowed(const QString &allowed)
{
    QString bad;
    if (parseAllowed(allowed, &bad))
        return {};
    return QStringLiteral("the allowed addresses are not all addresses or prefixes (\"%1\" is neither)").arg(bad);
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
    dropClients();
    mDatagramCommands.clear();
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
        mStatus = QStringLiteral("Not listening: ") + allowedFault(config.allowed);
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

QString RemoteServer::peerName(const QHostAddress &peer)
{
    return plain(peer).toString();
}

std::optional<QString> RemoteServer::allowedPeer(const QHostAddress &peer)
{
    if (!isAllowed(mAllowed, peer))
        return std::nullopt;
    return peerName(peer);
}

void RemoteServer::refuse(const QString &peer, const QByteArray &reason, bool recorded)
{
    ++mIgnored;
    mRefusals.append({ QDateTime::currentDateTimeUtc(), peer, QString::fromUtf8(reason) });
    if (mRefusals.size() > lastRefusals)
        mRefusals.removeFirst();
    if (recorded)
        return;
    mRefusalJournal.refuse(peer, mRefusals.last().reason);
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
    int budget = perTurn;
    const auto carryOut = [&] {
        while (budget > 0 && !mDatagramCommands.empty()) {
            const Waiting waiting = std::move(mDatagramCommands.front());
            mDatagramCommands.pop_front();
            --budget;
            const QByteArray reply = execute ? execute(waiting.command, waiting.peer) : QByteArray("error: not ready");
            if (reply.startsWith("error"))
                refuse(waiting.peer, TextCommand::named(waiting.command) + reply.mid(5), true);
            else if (waiting.command.kind == RemoteCommand::Kind::State)
                waiting.socket->writeDatagram(Osc::message("/lumivane/state", reply), waiting.from, waiting.fromPort);
        }
    };
    carryOut();
    bool readAny = false;
    // Anything past 8 KiB the system drops with the read.
    const auto readOne = [&] {
        QByteArray packet(maxDatagram + 1, Qt::Uninitialized);
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 size = socket->readDatagram(packet.data(), packet.size(), &from, &fromPort);
        if (size < 0)
            return;
        readAny = true;
        packet.truncate(size);
        const std::optional<QString> peer = allowedPeer(from);
        Osc::Decoded decoded;
        if (!peer)
            decoded.refused = { QByteArrayLiteral("sender not allowed") };
        else if (size > maxDatagram)
            decoded.refused = { QByteArrayLiteral("datagram over 8 KiB") };
        else
            decoded = Osc::decode(packet);
        for (const QByteArray &why : std::as_const(decoded.refused))
            refuse(peerName(from), why);
        // One that carries no command still takes a share of the turn.
        if (decoded.commands.isEmpty())
            --budget;
        for (const RemoteCommand &command : std::as_const(decoded.commands))
            mDatagramCommands.push_back({ command, *peer, socket, from, fromPort });
        carryOut();
    };
    while (budget > 0 && socket->hasPendingDatagrams())
        readOne();
    // Qt signals readyRead again only after a read since the last signal. A
    // signal whose datagrams an earlier turn took would end reading for good
    // if nothing were read now: the read finds nothing, or one just come.
    if (!readAny && !socket->hasPendingDatagrams())
        readOne();
    // What is left goes on at the next turn, which reads in turn.
    if (!mDatagramCommands.empty() || socket->hasPendingDatagrams())
        later(socket, [this, socket] { readDatagrams(socket); });
}
