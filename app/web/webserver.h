// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>

#include <map>
#include <memory>

class HttpRequestReader;
class Panel;
class QTcpSocket;
class QTimer;
struct HttpRequest;

// The browser panel: the page, its API and its stream of changes, served
// from the panel's thread. Bounded: at most maxConnections at once and
// maxStreams of them streaming, a head whole within headMs, an idle
// connection closed after idleMs, and what waits for a slow reader capped.
class WebServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 32;
    static constexpr int maxStreams = 16;
    static constexpr int headMs = 10000;
    static constexpr int idleMs = 60000;
    static constexpr qint64 maxWaiting = 64 * 1024;

    explicit WebServer(Panel &panel, QObject *parent = nullptr);
    ~WebServer() override;

    // Listens on `address` (this computer's loopback unless the operator
    // chose otherwise) and `port`; false, and why in errorString(), when it
    // cannot.
    bool listen(const QHostAddress &address, quint16 port);
    void close();
    quint16 port() const { return mServer.serverPort(); }
    QString errorString() const { return mServer.errorString(); }
    // The names a request's Host may carry besides the address listened on,
    // localhost and this computer's name.
    void setHostNames(const QStringList &names) { mExtraNames = names; }

    // The state as the API gives it: {"show":…, "off":…, "brightness":…,
    // "link":…, "locked":…, "next":…}.
    QByteArray stateJson() const;

private:
    struct Connection
    {
        std::unique_ptr<HttpRequestReader> reader;
        QTimer *timer = nullptr; // the head's deadline, then the idle one
        bool streaming = false;
    };

    void accept();
    void read(QTcpSocket *socket);
    void serve(QTcpSocket *socket, const HttpRequest &request);
    void send(QTcpSocket *socket, const QByteArray &bytes, bool keepAlive);
    void push();
    void drop(QTcpSocket *socket);
    QStringList hostNames() const;

    Panel &mPanel;
    QTcpServer mServer;
    QStringList mExtraNames;
    std::map<QTcpSocket *, Connection> mConnections;
};
