// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "httprequest.h"

#include <QByteArray>
#include <QStringList>

// What the browser panel lets through, as pure functions of a request.
namespace WebRules {

// Whether a request asks to change something: anything but GET and HEAD.
bool changes(const HttpRequest &request);

// Why a request is not served, as its status; 0 when it may be.
// - 421: its Host names none of `hostNames` (the addresses the panel
//   listens on, localhost, this computer's name, the operator's own
//   names), or another port than `port`: a page of another site, its name
//   rebound to this computer, must not reach the panel.
// - 403: it changes something, yet lacks "X-Lumivane-Request: 1", which a
//   plain form or an image of another site cannot send, or its Origin is
//   not the panel's own.
int refusal(const HttpRequest &request, const QStringList &hostNames, quint16 port);

// A whole response with the headers every one carries: no content from
// elsewhere, no sniffing, no referrer, and no caching of the API's answers.
// `extra` is more header lines, each ending in CR LF.
QByteArray response(int status, QByteArrayView contentType, QByteArrayView body, bool api, bool keepAlive,
                    QByteArrayView extra = {});

// "Not Found" for 404.
QByteArray reason(int status);

} // namespace WebRules
