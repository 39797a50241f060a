#pragma once

// Which links are HLS playlists or DASH manifests, and the answer the
// resolver gives for one: a stream link of this service that serves the
// stream as one file.

#include <QByteArray>
#include <QUrl>

// A 2xx response is an HLS playlist or DASH manifest by its type
// (application/vnd.apple.mpegurl, application/x-mpegurl, audio/mpegurl,
// application/dash+xml), or, under a generic type, by the link's ".m3u8" or
// ".mpd" name. audio/x-mpegurl is the type of plain M3U lists of files and
// does not count.
bool IsStreamResponse(int status, const QByteArray& contentType, const QUrl& finalUrl);

// The type attribute of a <source> names an HLS or DASH stream.
bool IsStreamSourceType(const QByteArray& type);

// A stream link for the stream at URL, found for the link the asker typed.
QByteArray StreamAnswer(const QUrl& url, const QUrl& typedLink);
