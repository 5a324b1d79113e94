// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A remote peer on this computer: a port free to listen on, a reply read,
// and OSC pieces written out by hand so that each test shows its bytes' shape.

#include <QByteArray>
#include <QByteArrayList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

#include <cstring>

// Free for both protocols at the moment of asking; 0 when none was.
inline quint16 freePort()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        QUdpSocket udp;
        udp.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
        QTcpServer tcp;
        if (tcp.listen(QHostAddress::LocalHost, udp.localPort()))
            return udp.localPort();
    }
    return 0;
}

inline QByteArray lineReply(QTcpSocket &socket)
{
    if (!QTest::qWaitFor([&socket] { return socket.canReadLine(); }, 3000))
        return "(no reply)";
    return socket.readLine();
}

inline QByteArray str(QByteArray s)
{
    s.append('\0');
    while (s.size() % 4)
        s.append('\0');
    return s;
}

inline QByteArray i32(qint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

inline QByteArray f32(float f)
{
    quint32 bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return i32(qint32(bits));
}

inline QByteArray msg(const QByteArray &address, const QByteArray &tags, const QByteArray &args = {})
{
    return str(address) + str(tags) + args;
}

inline QByteArray bundle(const QByteArrayList &elements)
{
    QByteArray b = str("#bundle") + i32(0) + i32(1);
    for (const QByteArray &e : elements)
        b += i32(qint32(e.size())) + e;
    return b;
}
