// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "httprequest.h"

#include <llhttp.h>

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto &[field, value] : headers) {
        if (field == name)
            return value;
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView name) const
{
    for (const auto &header : headers) {
        if (header.first == name)
            return true;
    }
    return false;
}

// llhttp calls back with a pointer to its own state; the reader is found
// through the state's data pointer.
struct HttpRequestReader::Parser
{
    llhttp_t state;
    llhttp_settings_t settings;
};

namespace {

HttpRequestReader *readerOf(llhttp_t *parser)
{
    return static_cast<HttpRequestReader *>(parser->data);
}

} // namespace

HttpRequestReader::HttpRequestReader()
    : mParser(std::make_unique<Parser>())
{
    llhttp_settings_init(&mParser->settings);
    auto &s = mParser->settings;
    s.on_message_begin = [](llhttp_t *p) {
        HttpRequestReader *r = readerOf(p);
        r->mCurrent = {};
        r->mField.clear();
        r->mInValue = false;
        r->mStarted = true;
        r->mHeadBytes = 0;
        return 0;
    };
    // Counted as kept: what a peer can make the reader hold is bounded
    // whatever the head's shape, a line ending or a colon more or less.
    static constexpr auto countHead = [](llhttp_t *p, qsizetype length) {
        HttpRequestReader *r = readerOf(p);
        r->mHeadBytes += length;
        if (r->mHeadBytes <= maxHeadBytes)
            return true;
        r->mFault = Fault::HeadTooLarge;
        return false;
    };
    s.on_method = [](llhttp_t *p, const char *at, size_t length) {
        if (!countHead(p, qsizetype(length)))
            return -1;
        readerOf(p)->mCurrent.method.append(at, qsizetype(length));
        return 0;
    };
    s.on_url = [](llhttp_t *p, const char *at, size_t length) {
        if (!countHead(p, qsizetype(length)))
            return -1;
        readerOf(p)->mCurrent.target.append(at, qsizetype(length));
        return 0;
    };
    s.on_header_field = [](llhttp_t *p, const char *at, size_t length) {
        if (!countHead(p, qsizetype(length) + 4))
            return -1;
        HttpRequestReader *r = readerOf(p);
        if (r->mInValue) {
            r->mField.clear();
            r->mInValue = false;
        }
        r->mField.append(QByteArray(at, qsizetype(length)).toLower());
        return 0;
    };
    s.on_header_value = [](llhttp_t *p, const char *at, size_t length) {
        if (!countHead(p, qsizetype(length)))
            return -1;
        HttpRequestReader *r = readerOf(p);
        if (!r->mInValue) {
            r->mCurrent.headers.append({ r->mField, QByteArray() });
            r->mInValue = true;
        }
        r->mCurrent.headers.last().second.append(at, qsizetype(length));
        return 0;
    };
    // A body announced larger than the bound is refused before any of it
    // is read.
    s.on_headers_complete = [](llhttp_t *p) {
        HttpRequestReader *r = readerOf(p);
        if ((p->flags & F_CONTENT_LENGTH) && p->content_length > uint64_t(maxBodyBytes)) {
            r->mFault = Fault::BodyTooLarge;
            return -1;
        }
        return 0;
    };
    s.on_body = [](llhttp_t *p, const char *at, size_t length) {
        HttpRequestReader *r = readerOf(p);
        if (r->mCurrent.body.size() + qsizetype(length) > maxBodyBytes) {
            r->mFault = Fault::BodyTooLarge;
            return -1;
        }
        r->mCurrent.body.append(at, qsizetype(length));
        return 0;
    };
    s.on_message_complete = [](llhttp_t *p) {
        HttpRequestReader *r = readerOf(p);
        r->mCurrent.keepAlive = llhttp_should_keep_alive(p) != 0;
        r->mDone.append(std::move(r->mCurrent));
        r->mCurrent = {};
        r->mStarted = false;
        return 0;
    };
    llhttp_init(&mParser->state, HTTP_REQUEST, &mParser->settings);
    mParser->state.data = this;
}

HttpRequestReader::~HttpRequestReader() = default;

QList<HttpRequest> HttpRequestReader::feed(QByteArrayView bytes)
{
    if (mFault != Fault::None || bytes.isEmpty())
        return {};
    const llhttp_errno_t error = llhttp_execute(&mParser->state, bytes.data(), size_t(bytes.size()));
    if (error != HPE_OK && mFault == Fault::None)
        mFault = Fault::Malformed;
    return std::exchange(mDone, {});
}
