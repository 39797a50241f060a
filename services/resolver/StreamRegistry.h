#pragma once

// Streams the service hands out: when the best media of a page is an HLS or
// DASH stream, separate video and audio files, or a file that needs request
// headers, the answer is a link to this service,
// http://HOST:PORT/get-url/stream/<token>.flv, that serves one file made
// from the source on the fly. A token is issued only by an answer of this
// service, names one stream and expires.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <optional>

struct TStreamSource
{
    // One link (a playlist, a manifest or a plain file), or two (video, audio).
    QList<QUrl> Inputs;
    // Request headers every fetch of the source carries (Referer,
    // User-Agent, Cookie, ...).
    QList<QPair<QByteArray, QByteArray>> Headers;
};

class TStreamRegistry
{
public:
    // The one registry of this service.
    static TStreamRegistry& Instance();

    // The base the answers' links start with, "http://127.0.0.1:8790"; set
    // by the server once it listens.
    void SetBaseAddress(const QByteArray& base) { m_base = base; }
    QByteArray BaseAddress() const { return m_base; }

    // Issues a token for SOURCE and returns the link that serves it.
    QByteArray Issue(const TStreamSource& source);
    // The source a token names, while it is valid.
    std::optional<TStreamSource> Find(const QByteArray& token) const;

private:
    QByteArray m_base;
};
