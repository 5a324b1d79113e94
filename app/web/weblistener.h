// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "remote/remotecommand.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

struct WebConfig
{
    bool enabled = false;
    int port = 8080;
    // Taken only once a password is set: until then 127.0.0.1 and ::1 alone.
    bool fromOtherComputers = false;
    // Addresses or prefixes, as remote control's; blank lets any in.
    QString allowed;
    // Pages watch but every command from them is refused.
    bool viewOnly = false;
    // Names a request's Host may carry besides this computer's own,
    // separated by blanks or commas.
    QString hostNames;
    // Whether a password is set, when configured; the hash itself is asked
    // for at each login, so one set from the command line counts at once.
    bool passwordSet = false;

    bool operator==(const WebConfig &) const = default;
};

// The browser panel as the panel sees it, with no Qt Network in sight: on
// Linux the server is a module of its own, loaded only once the operator
// turns it on or opens its dialog (as remote control's is).
class WebListener
{
public:
    virtual ~WebListener() = default;

    // Stops listening, then listens again as the config says.
    virtual void configure(const WebConfig &config) = 0;
    virtual bool listening() const = 0;
    // The port listened on (the one taken, where the config asked for 0); 0 when not.
    virtual quint16 port() const = 0;
    // "Listening on http://127.0.0.1:8080/", or why not.
    virtual QString status() const = 0;
    // What a browser opens while listening: "http://127.0.0.1:8080/" while
    // only this computer is let in, else one for each IPv4 address of this
    // computer but the loopback's; none when not listening.
    virtual QStringList pageAddresses() const = 0;
    // Not listening because another program holds the port.
    virtual bool portInUse() const = 0;
    // Why an allowed list cannot be used; empty when it can.
    virtual QString allowedFault(const QString &allowed) const = 0;
    // The player's state, the link, the lock or the next entry changed:
    // every open page is told at once.
    virtual void stateChanged() = 0;
    // The show names changed.
    virtual void namesChanged() = 0;
    // The form a password is stored in (Password::hash()); empty when it
    // cannot be made.
    virtual QByteArray hashPassword(const QString &password) const = 0;

    // Carries out one command for the page at `peer` and returns the reply
    // line, "ok ..." or "error: ...", without its line end.
    std::function<QByteArray(const RemoteCommand &, const QString &peer)> execute;
    // {"show", "off", "brightness", "link", "locked", "next"}, as the API gives it.
    std::function<QJsonObject()> state;
    // The 128 names, show 1 first.
    std::function<QStringList()> names;
    // The stored password's hash (Password::hash()'s form); empty when the
    // page needs none. A session lasts while this stays what it was.
    std::function<QByteArray()> passwordHash;
    // Records a refusal execute() never saw (view only, a sender not allowed,
    // a wrong password), for the journal.
    std::function<void(const QString &peer, const QString &reason)> refused;
};

// The name the module exports its factory under; the caller owns the result.
#define LUMIVANE_WEB_FACTORY "lumivaneNewWebServer"
