#pragma once

// What the resolver counts as a downloadable media file, and which links it
// is allowed to follow at all.

#include <QByteArray>
#include <QUrl>

// Only plain web links are ever fetched: http and https with a host.
bool IsFetchableUrl(const QUrl& url);

// The path of the link (query and fragment left aside) ends with one of the
// media extensions, compared without regard to case.
bool HasMediaExtension(const QUrl& url);
bool HasMediaExtension(const QByteArray& fileName);
// The path ends in .m3u8 or .mpd (an HLS playlist or DASH manifest), in
// any case.
bool HasStreamExtension(const QUrl& url);

// The media type of a Content-Type header value: lower case, without its
// parameters ("Video/MP4; codecs=x" -> "video/mp4").
QByteArray MediaTypeOf(const QByteArray& contentType);

// The file name of a Content-Disposition header value, or empty.
QByteArray DispositionFileName(const QByteArray& disposition);

// A response is media when it says audio/* or video/* (playlists excepted:
// they are texts that only point at media), or when it is a generic binary
// body whose link or attachment name carries a media extension.
bool IsMediaResponse(const QByteArray& contentType, const QUrl& finalUrl,
                     const QByteArray& disposition);

// A response the resolver reads as a web page and searches for media.
bool IsPageResponse(const QByteArray& contentType, const QUrl& finalUrl);

// The type attribute of a <source> names something a player can take as one
// file (no type at all counts as playable).
bool IsPlayableSourceType(const QByteArray& type);
