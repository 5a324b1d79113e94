// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

#include <memory>

struct llhttp__internal_s;

// One request as a browser sent it: names of headers in lower case, as
// HTTP compares them.
struct HttpRequest
{
    QByteArray method; // "GET"
    QByteArray target; // "/api/state"
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool keepAlive = true;

    // The first header of that name (lower case), or nothing.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
};

// Reads the requests of one connection from its bytes as they come, with
// llhttp, and bounds what it keeps: a peer can make it hold no more than a
// head and a body of the sizes below.
class HttpRequestReader
{
public:
    // The request line and headers, and a body.
    static constexpr qsizetype maxHeadBytes = 8 * 1024;
    static constexpr qsizetype maxBodyBytes = 4 * 1024;

    // What ends the connection's reading, and the status it is answered with.
    enum class Fault { None, Malformed = 400, BodyTooLarge = 413, HeadTooLarge = 431 };

    HttpRequestReader();
    ~HttpRequestReader();
    HttpRequestReader(const HttpRequestReader &) = delete;
    HttpRequestReader &operator=(const HttpRequestReader &) = delete;

    // Reads on; returns the requests that are now whole, in order. After a
    // fault it reads nothing more.
    QList<HttpRequest> feed(QByteArrayView bytes);
    Fault fault() const { return mFault; }
    // A request has begun and is not whole yet: its head, or its body.
    bool partial() const { return mStarted; }

private:
    struct Parser;
    std::unique_ptr<Parser> mParser;
    HttpRequest mCurrent;
    QByteArray mField;
    bool mInValue = false;
    bool mStarted = false;
    qsizetype mHeadBytes = 0;
    QList<HttpRequest> mDone;
    Fault mFault = Fault::None;
};
