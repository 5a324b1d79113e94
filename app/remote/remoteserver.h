// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "refusallimit.h"
#include "remotelistener.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class TextClient;

// Listens for remote commands, OSC over UDP and text lines over TCP, on one
// port number, and hands each command that passes the limits to execute().
// It knows nothing of the panel; it cannot change a setting or a file.
class RemoteServer : public QObject, public RemoteListener
{
    Q_OBJECT

public:
    using Config = RemoteConfig;

    static constexpr qint64 maxDatagram = 8 * 1024;
    static constexpr qint64 maxLine = 1024;
    static constexpr int maxClients = 8;
    // Commands handled from the datagrams, or lines of one client, before the
    // event loop gets its turn again: a flood must not hold the window. One
    // datagram of 8 KiB can carry some 400 commands, so the count is of
    // commands, not datagrams.
    static constexpr int perTurn = 32;
    // Replies waiting to go to one peer. Past it, that peer's lines wait
    // unread until it takes its replies, so a peer that sends and never
    // reads holds this much, and the system's own buffers, and no more.
    static constexpr qint64 maxUnsent = 64 * 1024;

    // A line begun and not ended within this time ends its connection.
    int unfinishedLineMs = 10000;
    // With every connection taken, a new one takes the place of the one
    // silent longest, once that one has been silent this long.
    int silentMs = 60000;

    using Subnet = QPair<QHostAddress, int>;
    // The allowed list, or nothing when a word is neither address nor
    // prefix; that word is then left in bad.
    static std::optional<QList<Subnet>> parseAllowed(const QString &text, QString *bad = nullptr);
    static bool isAllowed(const QList<Subnet> &allowed, const QHostAddress &peer);
    // Why an allowed list cannot be used, naming the word that is neither an
    // address nor a prefix; empty when it can.
    static QString faultInAllowed(const QString &allowed);
    // "192.0.2.7", an IPv4 peer of a dual-stack socket written as IPv4.
    static QString peerName(const QHostAddress &peer);

    explicit RemoteServer(QObject *parent = nullptr);
    ~RemoteServer() override;

    void configure(const Config &config) override;
    bool listening() const override;
    QString status() const override { return mStatus; }
    bool portInUse() const override { return mPortInUse; }
    int ignored() const override { return mIgnored; }
    QList<RemoteRefusal> refusals() const override { return mRefusals; }
    QString allowedFault(const QString &allowed) const override;

private:
    void stop();
    bool listenOn(const QHostAddress &address, int port, QString &why);
    void readDatagrams(QUdpSocket *socket);
    void acceptClients(QTcpServer *server);
    bool makeRoom();
    void serve(TextClient *client);
    void answer(TextClient *client, const QByteArray &line);
    void resume(TextClient *client);
    void peerWaiting(TextClient *client);
    void unwatch(TextClient *client);
    void refuseLine(TextClient *client, const QByteArray &why);
    // Ends the connection after a last line, if any, and frees its slot.
    void close(TextClient *client, const QByteArray &why);
    void drop(TextClient *client);
    void dropClients();
    // Runs again from the event loop when work is left after a turn.
    void later(QObject *source, const std::function<void()> &work);
    // "127.0.0.1", also for a peer reaching a dual-stack socket.
    std::optional<QString> allowedPeer(const QHostAddress &peer);
    // Counts a refusal and keeps it for the dialog; recorded false when the
    // panel has already recorded it, as it does each command it refuses.
    void refuse(const QString &peer, const QByteArray &reason, bool recorded = false);

    struct Waiting
    {
        RemoteCommand command;
        QString peer;
        // Where the state is answered, for /lumivane/state.
        QUdpSocket *socket = nullptr;
        QHostAddress from;
        quint16 fromPort = 0;
    };

    QList<QUdpSocket *> mUdp;
    QList<QTcpServer *> mTcp;
    QList<TextClient *> mClients;
    // Decoded from datagrams already read, not yet carried out.
    std::deque<Waiting> mDatagramCommands;
    QSet<QObject *> mQueued;
    QList<Subnet> mAllowed;
    QString mStatus;
    bool mPortInUse = false;
    int mIgnored = 0;
    QList<RemoteRefusal> mRefusals;
    LimitedRefusals mRefusalJournal { [this](const QString &peer, const QString &reason) {
        if (refused)
            refused(peer, reason);
    } };
};
