#include "services/resolver/net/MediaTypes.h"

#include <QList>

namespace {

const QList<QByteArray>& MediaExtensions()
{
    static const QList<QByteArray> extensions = {
        ".flv",  ".mp4", ".m4v", ".webm", ".mov", ".avi", ".mpg",
        ".mpeg", ".wmv", ".3gp", ".mp3",  ".ogg", ".m4a", ".wav",
    };
    return extensions;
}

// audio/* types that are playlists (texts listing other links), not media.
bool IsPlaylistType(const QByteArray& mediaType)
{
    return mediaType.contains("mpegurl") || mediaType == "audio/x-scpls" ||
           mediaType == "application/dash+xml";
}

bool IsGenericBinaryType(const QByteArray& mediaType)
{
    return mediaType.isEmpty() || mediaType == "application/octet-stream" ||
           mediaType == "binary/octet-stream" || mediaType == "application/force-download";
}

}  // namespace

bool IsFetchableUrl(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool HasMediaExtension(const QByteArray& fileName)
{
    // Only the last path segment is the name; ".mp4" alone is no name.
    const QByteArray lower = fileName.mid(fileName.lastIndexOf('/') + 1).toLower();
    for (const QByteArray& extension : MediaExtensions()) {
        if (lower.endsWith(extension) && lower.size() > extension.size())
            return true;
    }
    return false;
}

bool HasMediaExtension(const QUrl& url)
{
    return HasMediaExtension(url.path(QUrl::FullyDecoded).toUtf8());
}

bool HasStreamExtension(const QUrl& url)
{
    const QString path = url.path().toLower();
    return path.endsWith(QLatin1String(".m3u8")) || path.endsWith(QLatin1String(".mpd"));
}

QByteArray MediaTypeOf(const QByteArray& contentType)
{
    QByteArray type = contentType;
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0)
        type.truncate(semicolon);
    return type.trimmed().toLower();
}

QByteArray DispositionFileName(const QByteArray& disposition)
{
    // filename="a.mp4" or filename=a.mp4; the RFC 5987 form filename*= is
    // taken after its charset''prefix.
    const QList<QByteArray> parts = disposition.split(';');
    QByteArray plain;
    QByteArray extended;
    for (const QByteArray& part : parts) {
        const qsizetype equals = part.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = part.left(equals).trimmed().toLower();
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (key == "filename") {
            plain = value;
        } else if (key == "filename*") {
            const qsizetype quote = value.indexOf("''");
            extended = QByteArray::fromPercentEncoding(quote >= 0 ? value.mid(quote + 2) : value);
        }
    }
    return extended.isEmpty() ? plain : extended;
}

bool IsMediaResponse(const QByteArray& contentType, const QUrl& finalUrl,
                     const QByteArray& disposition)
{
    const QByteArray type = MediaTypeOf(contentType);
    if (type.startsWith("audio/") || type.startsWith("video/"))
        return !IsPlaylistType(type);
    if (type == "application/ogg")
        return true;
    if (IsGenericBinaryType(type))
        return HasMediaExtension(finalUrl) || HasMediaExtension(DispositionFileName(disposition));
    return false;
}

bool IsPageResponse(const QByteArray& contentType, const QUrl& finalUrl)
{
    const QByteArray type = MediaTypeOf(contentType);
    if (type == "text/html" || type == "application/xhtml+xml")
        return true;
    // A server that names no type at all: read it as a page unless the link
    // itself looks like a media file.
    return type.isEmpty() && !HasMediaExtension(finalUrl);
}

bool IsPlayableSourceType(const QByteArray& type)
{
    const QByteArray mediaType = MediaTypeOf(type);
    if (mediaType.isEmpty())
        return true;
    if (mediaType.startsWith("audio/") || mediaType.startsWith("video/"))
        return !IsPlaylistType(mediaType);
    return mediaType == "application/ogg";
}
