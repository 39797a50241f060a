#pragma once

// Streams the service hands out: when the best media of a page is an HLS or
// DASH stream, separate video and audio files, or a file that needs request
// headers, the answer is a link to this service,
// http://HOST:PORT/get-url/stream/<token>.flv, that serves one file made
// from the source on the fly. A token is issued only by an answer of this
// service, names one stream and expires: a few minutes after it was issued,
// and soon after the download it was made for has been served in full (the
// program asks twice: once for the size, then for the file, and a short
// stream may be served whole to the first request already).

#include "services/resolver/remux/StreamSource.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>

class TStreamRegistry
{
public:
    using TClock = std::chrono::steady_clock;

    // The one registry of this service.
    static TStreamRegistry& Instance();

    // The base the answers' links start with, "http://127.0.0.1:8790"; set
    // by the server once it listens.
    void SetBaseAddress(const QByteArray& base);
    QByteArray BaseAddress() const;

    // How long a token stays valid after it was issued (5 minutes unless
    // set), and after its stream was first served in full (10 seconds).
    void SetLifetime(std::chrono::milliseconds lifetime);
    void SetGrace(std::chrono::milliseconds grace);

    // Issues a token for SOURCE and returns the link that serves it.
    QByteArray Issue(const TStreamSource& source);
    // The source a token names, while it is valid.
    std::optional<TStreamSource> Find(const QByteArray& token) const;
    // The download the token was made for has been served in full: the
    // token ends after the grace.
    void Retire(const QByteArray& token);

    // The token of a link path's last part, "<token>.flv"; empty when the
    // name is not one this registry could have issued.
    static QByteArray TokenOfName(const QByteArray& name);

private:
    struct TEntry
    {
        TStreamSource Source;
        TClock::time_point Expires;
    };

    void DropExpired() const;

    mutable std::mutex m_mutex;
    QByteArray m_base;
    std::chrono::milliseconds m_lifetime = std::chrono::minutes(5);
    std::chrono::milliseconds m_grace = std::chrono::seconds(10);
    mutable std::map<QByteArray, TEntry> m_streams;
};
