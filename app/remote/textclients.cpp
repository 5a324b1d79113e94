// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The text protocol's side of RemoteServer: its connections, each answered a
// line at a time, and what frees their slots.

#include "remoteserver.h"

#include "peerend.h"
#include "textcommand.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// One text connection and what is known of it between turns. The lines wait
// in the socket's own buffer until they are answered.
class TextClient : public QObject
{
public:
    TextClient(QTcpSocket *socket, const QString &peer, QObject *parent)
        : QObject(parent)
        , socket(socket)
        , peer(peer)
    {
        socket->setParent(this);
        unfinished.setSingleShot(true);
        heard.start();
    }

    QTcpSocket *const socket;
    const QString peer;
    // Watches the socket while Qt's own reading is held back.
    QSocketNotifier *watch = nullptr;
    QTimer unfinished;
    QElapsedTimer heard;
    // The peer has shut its side: what is left is its last line.
    bool ended = false;
    // A CR ended the last line; an LF right after it belongs to it.
    bool afterCR = false;
    // Its replies wait past maxUnsent: its lines wait unread until they go.
    bool held = false;
};

namespace {

// Qt reads at most this much ahead of the lines answered, so a sender
// without line ends cannot make the buffer grow.
constexpr qint64 readAhead = 4 * RemoteServer::maxLine;

// A closed connection's last replies have this long to go out; a peer that
// takes none must not keep them.
constexpr int lingerMs = 10000;

QByteArray seconds(int ms)
{
    return QByteArray::number(ms / 1000.0) + (ms == 1000 ? " second" : " seconds");
}

// A line as a refusal names it: blanks made one, a long one cut short.
QByteArray shown(const QByteArray &line)
{
    const QByteArray simple = line.simplified();
    return simple.size() > 64 ? simple.left(64) + "..." : simple;
}

} // namespace

void RemoteServer::acceptClients(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        const std::optional<QString> peer = allowedPeer(socket->peerAddress());
        if (!peer) {
            refuse(peerName(socket->peerAddress()), "sender not allowed");
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
            continue;
        }
        if (mClients.size() >= maxClients && !makeRoom()) {
            refuse(*peer, "too many connections");
            // Closed at once, with the peer's line arriving after, the socket
            // would be reset and the peer could lose the reply: it stays a
            // second, or until the peer closes, reading nothing.
            socket->write("error: too many connections\n");
            socket->flush();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(1000, socket, [socket] {
                socket->disconnectFromHost();
                if (socket->state() == QAbstractSocket::UnconnectedState)
                    socket->deleteLater();
            });
            continue;
        }
        // Replies to pipelined lines go out at once, not after the peer's
        // acknowledgement of the one before.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Replies are short: the system need not hold megabytes of them for
        // a peer that does not read (Linux makes its buffer twice this).
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(maxUnsent));
        PeerEnd::keepAlive(socket->socketDescriptor());
        socket->setReadBufferSize(readAhead);
        auto *client = new TextClient(socket, *peer, this);
        mClients.append(client);
        connect(socket, &QTcpSocket::readyRead, client, [this, client] {
            client->heard.start();
            serve(client);
        });
        connect(socket, &QTcpSocket::disconnected, client, [this, client] { drop(client); });
        connect(socket, &QTcpSocket::bytesWritten, client, [this, client] { resume(client); });
        connect(&client->unfinished, &QTimer::timeout, client, [this, client] {
            refuseLine(client, "error: line not finished within " + seconds(unfinishedLineMs));
        });
        serve(client);
    }
}

// Every connection is taken: the one silent longest gives way if it has been
// silent long enough. A controller that crashed, or an idle nc, then does
// not shut the others out until a restart.
bool RemoteServer::makeRoom()
{
    TextClient *silent = nullptr;
    for (TextClient *client : std::as_const(mClients)) {
        if (!silent || client->heard.elapsed() > silent->heard.elapsed())
            silent = client;
    }
    if (!silent || silent->heard.elapsed() <= silentMs)
        return false;
    close(silent, "error: closed after " + seconds(silentMs) + " of silence, for a new connection");
    return true;
}

void RemoteServer::serve(TextClient *client)
{
    QTcpSocket *socket = client->socket;
    if (!mClients.contains(client) || socket->state() != QAbstractSocket::ConnectedState || client->held)
        return;
    const QByteArray data = socket->peek(socket->bytesAvailable());
    qsizetype at = 0;
    bool more = false;
    bool held = false;
    for (int budget = perTurn;;) {
        if (client->afterCR && at < data.size()) {
            client->afterCR = false;
            if (data.at(at) == '\n') {
                ++at;
                continue;
            }
        }
        qsizetype end = at;
        while (end < data.size() && data.at(end) != '\n' && data.at(end) != '\r')
            ++end;
        if (end == data.size())
            break;
        if (budget-- == 0) {
            more = true;
            break;
        }
        if (end - at > maxLine) {
            refuseLine(client, "error: line longer than 1024 bytes");
            return;
        }
        if (socket->bytesToWrite() > maxUnsent) {
            held = true;
            break;
        }
        client->afterCR = data.at(end) == '\r';
        answer(client, data.mid(at, end - at));
        at = end + 1;
    }
    socket->skip(at);
    const qsizetype rest = data.size() - at;
    if (held) {
        // The line is left in the buffer, which is then full: Qt reads
        // nothing more, and the peer's sending waits on its own side. The
        // wait is not the peer's fault, so no line is timed meanwhile.
        client->held = true;
        client->unfinished.stop();
        unwatch(client);
        socket->setReadBufferSize(rest);
    } else if (more) {
        // Held, Qt reads nothing more, and so cannot read the peer's end and
        // close the socket before these lines are answered.
        socket->setReadBufferSize(rest);
        later(client, [this, client] { serve(client); });
    } else if (rest > maxLine) {
        refuseLine(client, "error: line longer than 1024 bytes");
        return;
    } else if (rest > 0 && client->ended) {
        answer(client, data.mid(at));
        close(client, {});
        return;
    } else if (rest > 0) {
        // A line begun: whether more comes or the peer's end is looked at
        // here, without reading, so that the end still lets it be answered.
        socket->setReadBufferSize(rest);
        if (!client->watch) {
            client->watch = new QSocketNotifier(socket->socketDescriptor(), QSocketNotifier::Read, client);
            connect(client->watch, &QSocketNotifier::activated, client, [this, client] { peerWaiting(client); });
        }
        if (at > 0 || !client->unfinished.isActive())
            client->unfinished.start(unfinishedLineMs);
    } else {
        client->unfinished.stop();
        if (client->ended) {
            close(client, {});
            return;
        }
        unwatch(client);
        socket->setReadBufferSize(readAhead);
    }
    socket->flush();
}

void RemoteServer::answer(TextClient *client, const QByteArray &line)
{
    const TextCommand::Parsed parsed = TextCommand::parse(line);
    QByteArray reply = parsed.error;
    if (parsed.ok)
        reply = execute ? execute(parsed.command, client->peer) : QByteArray("error: not ready");
    if (reply.startsWith("error")) {
        const QByteArray what = parsed.ok ? TextCommand::named(parsed.command) : shown(line);
        refuse(client->peer, what.isEmpty() ? reply.mid(7) : what + reply.mid(5), parsed.ok);
    }
    client->socket->write(reply + '\n');
}

// Half the bound gone, the lines held wait no longer.
void RemoteServer::resume(TextClient *client)
{
    if (!client->held || client->socket->bytesToWrite() > maxUnsent / 2)
        return;
    client->held = false;
    serve(client);
}

void RemoteServer::peerWaiting(TextClient *client)
{
    switch (PeerEnd::peek(client->socket->socketDescriptor())) {
    case PeerEnd::Waiting::Data:
        client->heard.start();
        unwatch(client);
        // Room again: Qt reads and signals readyRead.
        client->socket->setReadBufferSize(readAhead);
        return;
    case PeerEnd::Waiting::End:
        client->ended = true;
        unwatch(client);
        serve(client);
        return;
    case PeerEnd::Waiting::Nothing:
        return;
    case PeerEnd::Waiting::Failed:
        unwatch(client);
        client->socket->abort();
        drop(client);
        return;
    }
}

void RemoteServer::unwatch(TextClient *client)
{
    if (!client->watch)
        return;
    // Off at once: the descriptor may be closed before the next turn.
    client->watch->setEnabled(false);
    client->watch->deleteLater();
    client->watch = nullptr;
}

void RemoteServer::refuseLine(TextClient *client, const QByteArray &why)
{
    refuse(client->peer, why.mid(7));
    close(client, why);
}

// The slot is free at once; the replies still go out before the socket closes.
void RemoteServer::close(TextClient *client, const QByteArray &why)
{
    if (!why.isEmpty())
        client->socket->write(why + '\n');
    unwatch(client);
    client->unfinished.stop();
    mClients.removeOne(client);
    mQueued.remove(client);
    client->socket->flush();
    client->socket->disconnectFromHost();
    if (client->socket->state() == QAbstractSocket::UnconnectedState)
        client->deleteLater();
    else
        QTimer::singleShot(lingerMs, client, [client] { client->socket->abort(); });
}

void RemoteServer::drop(TextClient *client)
{
    unwatch(client);
    mClients.removeOne(client);
    mQueued.remove(client);
    client->deleteLater();
}

void RemoteServer::dropClients()
{
    qDeleteAll(mClients);
    mClients.clear();
}
