#pragma once

// Reads a web page with the HTML5 parser and lists the links that may lead to
// its media file, best first.

#include <QByteArray>
#include <QUrl>

#include <vector>

// Candidates in this order: <video>/<audio> src and their <source>s that are
// playable files or HLS/DASH streams, the og:video / og:audio meta links,
// twitter:player:stream, <link rel="video_src">, <embed>/<object> to a media
// file, JSON-LD contentUrl, <a href> to a media file, then media and stream
// links quoted in the page's own scripts. Each is resolved against the page's base
// (pageUrl, or its <base href>); only http/https links are kept, each once.
std::vector<QUrl> FindMediaCandidates(const QByteArray& html, const QUrl& pageUrl);
