// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "webrules.h"

namespace {

// "name:8080" -> name and port; "[::1]:8080" -> "::1" and port. The port
// is 80 where none is given, as a browser leaves it out then.
bool splitHost(const QByteArray &host, QByteArray &name, int &port)
{
    QByteArray rest;
    if (host.startsWith('[')) {
        const qsizetype end = host.indexOf(']');
        if (end < 0)
            return false;
        name = host.mid(1, end - 1);
        rest = host.mid(end + 1);
    } else {
        const qsizetype colon = host.lastIndexOf(':');
        name = colon < 0 ? host : host.left(colon);
        rest = colon < 0 ? QByteArray() : host.mid(colon);
    }
    port = 80;
    if (rest.isEmpty())
        return !name.isEmpty();
    if (!rest.startsWith(':'))
        return false;
    bool ok = false;
    port = rest.mid(1).toInt(&ok);
    return ok && !name.isEmpty();
}

} // namespace

namespace WebRules {

bool changes(const HttpRequest &request)
{
    return request.method != "GET" && request.method != "HEAD";
}

int refusal(const HttpRequest &request, const QStringList &hostNames, quint16 port)
{
    const QByteArray host = request.header("host").trimmed();
    QByteArray name;
    int hostPort = 0;
    if (!splitHost(host, name, hostPort) || hostPort != port)
        return 421;
    // Host names are compared as DNS does, without case; a trailing dot
    // names the same host.
    if (name.endsWith('.'))
        name.chop(1);
    const QString wanted = QString::fromLatin1(name);
    if (!hostNames.contains(wanted, Qt::CaseInsensitive))
        return 421;
    if (!changes(request))
        return 0;
    if (request.header("x-lumivane-request").trimmed() != "1")
        return 403;
    // A browser sends Origin with every request that changes something;
    // where it does, it must be the panel's own, as the Host names it.
    if (request.hasHeader("origin") && request.header("origin").trimmed() != "http://" + host)
        return 403;
    return 0;
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 421:
        return "Misdirected Request";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

QByteArray response(int status, QByteArrayView contentType, QByteArrayView body, bool api, bool keepAlive,
                    QByteArrayView extra)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (!contentType.isEmpty())
        out += "Content-Type: " + contentType.toByteArray() + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
           "Content-Security-Policy: default-src 'self'\r\n"
           "X-Content-Type-Options: nosniff\r\n"
           "Referrer-Policy: no-referrer\r\n";
    if (api)
        out += "Cache-Control: no-store\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += extra.toByteArray();
    out += "\r\n";
    out += body.toByteArray();
    return out;
}

} // namespace WebRules
