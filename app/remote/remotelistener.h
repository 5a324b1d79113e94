// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "remotecommand.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

struct RemoteConfig
{
    bool enabled = false;
    int port = 8765;
    // Off: 127.0.0.1 and ::1 only.
    bool fromOtherComputers = false;
    // Addresses or prefixes (192.168.1.0/24), separated by blanks or
    // commas; blank lets any sender in.
    QString allowed;

    bool operator==(const RemoteConfig &) const = default;
};

// A datagram's message or a line that changed nothing, and why.
struct RemoteRefusal
{
    QDateTime when; // in UTC
    QString peer;   // "127.0.0.1"
    QString reason; // "show 200: a show is 1 to 128"
};

// Remote control as the panel sees it, with no Qt Network in sight: where
// the server is a module of its own (see lumivane_remote_module), the panel
// loads it only once the operator turns remote control on or opens its
// dialog, and Qt Network with the libraries it links (Kerberos, libproxy,
// the resolver) stays out of every other start.
class RemoteListener
{
public:
    virtual ~RemoteListener() = default;

    // Stops listening, then listens again as the config says.
    virtual void configure(const RemoteConfig &config) = 0;
    virtual bool listening() const = 0;
    // "Listening on 127.0.0.1:8765 (UDP and TCP)", or why not.
    virtual QString status() const = 0;
    // Not listening because another program holds the port.
    virtual bool portInUse() const = 0;
    // Datagrams and lines that changed nothing: malformed, unknown, out of
    // range, too long, from a sender not allowed, or refused for want of a port.
    virtual int ignored() const = 0;
    // The newest of them, at most lastRefusals, oldest first.
    virtual QList<RemoteRefusal> refusals() const = 0;
    static constexpr int lastRefusals = 20;
    // Why an allowed list cannot be used, naming the word that is neither an
    // address nor a prefix; empty when it can.
    virtual QString allowedFault(const QString &allowed) const = 0;

    // Carries out one command for the peer ("127.0.0.1") and returns the
    // reply line, "ok ..." or "error: ...", without its line end. A refusal
    // in the reply is the caller's to record.
    std::function<QByteArray(const RemoteCommand &, const QString &peer)> execute;
    // Records a refusal that execute() never saw, for the journal. A sender
    // refused more than ten times within a second is recorded ten times, and
    // then once with how many more there were. The peer is empty for those of
    // the senders beyond the many followed at once.
    std::function<void(const QString &peer, const QString &reason)> refused;
};

// The name the module exports its factory under; the caller owns the result.
#define LUMIVANE_REMOTE_FACTORY "lumivaneNewRemoteServer"
