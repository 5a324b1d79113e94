// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "weblistener.h"
#include "weblogin.h"
#include "remote/refusallimit.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QThreadPool>

#include <map>
#include <memory>

class HttpRequestReader;
class QTcpServer;
class QTcpSocket;
class QTimer;
struct HttpRequest;

// The browser panel: the page, its API and its stream of changes, served
// from the panel's thread. It knows nothing of the panel but what the
// listener's callbacks give, and nothing it serves changes a setting or a
// file. Bounded: at most maxConnections at once and maxStreams of them
// streaming, a head whole within headMs, an idle connection closed after
// idleMs, and what waits for a slow reader capped.
class WebServer : public QObject, public WebListener
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 32;
    static constexpr int maxStreams = 16;
    static constexpr int headMs = 10000;
    static constexpr int idleMs = 60000;
    static constexpr qint64 maxWaiting = 64 * 1024;
    // Passwords checked at once, each a slow hash off the panel's thread.
    static constexpr int maxChecks = 4;

    explicit WebServer(QObject *parent = nullptr);
    ~WebServer() override;

    // Port 0 takes any free port (for tests); port() tells which.
    void configure(const WebConfig &config) override;
    bool listening() const override { return !mServers.isEmpty(); }
    QString status() const override { return mStatus; }
    QStringList pageAddresses() const override;
    bool portInUse() const override { return mPortInUse; }
    QString allowedFault(const QString &allowed) const override;
    void stateChanged() override;
    void namesChanged() override;
    QByteArray hashPassword(const QString &password) const override;
    quint16 port() const override;

private:
    struct Connection
    {
        std::unique_ptr<HttpRequestReader> reader;
        QTimer *timer = nullptr; // the head's deadline, then the idle one
        bool streaming = false;
        QByteArray session;      // a stream's, so a new password ends it
        bool checking = false;   // a password is being checked for it
        bool headOnly = false;   // answering HEAD: the head, not the body
    };

    void stop();
    bool listenOn(const QHostAddress &address, quint16 port);
    void accept(QTcpServer *server);
    void read(QTcpSocket *socket);
    void serve(QTcpSocket *socket, const HttpRequest &request);
    void command(QTcpSocket *socket, const HttpRequest &request, const QString &peer);
    void login(QTcpSocket *socket, const HttpRequest &request, const QString &peer);
    void loginChecked(QTcpSocket *socket, const QString &peer, bool matches, const QByteArray &hash,
                      bool keepAlive);
    void stream(QTcpSocket *socket, const QByteArray &session);
    void send(QTcpSocket *socket, const QByteArray &bytes, bool keepAlive);
    void push(const QByteArray &event);
    void drop(QTcpSocket *socket);
    QByteArray stateJson() const;
    const QStringList &hostNames();

    WebConfig mConfig;
    QList<QTcpServer *> mServers;
    QList<QPair<QHostAddress, int>> mAllowed;
    QString mStatus = QStringLiteral("The browser panel is off");
    bool mPortInUse = false;
    // This computer's names and addresses, asked for again every few seconds.
    QStringList mHostNames;
    QElapsedTimer mHostNamesAge;
    std::map<QTcpSocket *, Connection> mConnections;
    WebLogin mLogin;
    LimitedRefusals mRefusalJournal { [this](const QString &peer, const QString &reason) {
        if (refused)
            refused(peer, reason);
    } };
    // Last: destroyed first, so no check outlives the server it reports to.
    QThreadPool mChecks;
};
