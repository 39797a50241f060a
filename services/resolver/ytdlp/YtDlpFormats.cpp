#include "services/resolver/ytdlp/YtDlpFormats.h"

#include "services/resolver/net/MediaTypes.h"

#include <QJsonArray>

#include <optional>

namespace {

enum class TTransport
{
    File,      // one plain http(s) file
    Playlist,  // HLS playlist or DASH manifest
    Unusable   // rtmp, f4m, ism, mhtml, websockets, ...
};

struct TFormat
{
    QUrl Url;
    TTransport Transport = TTransport::Unusable;
    bool Video = true;
    bool Audio = true;
    QString Id;
    THeaderList Headers;  // every header yt-dlp fetches it with
};

const QList<QByteArray>& AudioExtensions()
{
    static const QList<QByteArray> extensions = {"mp3", "m4a", "ogg",  "oga",  "opus",
                                                 "wav", "aac", "flac", "weba", "mka"};
    return extensions;
}

bool EndsWithPathExtension(const QUrl& url, const char* extension)
{
    return url.path().endsWith(QLatin1String(extension), Qt::CaseInsensitive);
}

TTransport TransportOf(const QString& protocol, const QUrl& url)
{
    if (protocol == QLatin1String("m3u8") || protocol == QLatin1String("m3u8_native") ||
        protocol == QLatin1String("http_dash_segments"))
        return TTransport::Playlist;
    if (protocol == QLatin1String("http") || protocol == QLatin1String("https") ||
        protocol.isEmpty()) {
        if (!IsFetchableUrl(url))
            return TTransport::Unusable;
        if (EndsWithPathExtension(url, ".m3u8") || EndsWithPathExtension(url, ".mpd"))
            return TTransport::Playlist;
        return TTransport::File;
    }
    return TTransport::Unusable;
}

// "none" says the stream is absent; a missing codec says nothing (the
// derived video_ext/audio_ext fields then say "none" for audio, wrongly).
bool HasTrack(const QJsonObject& format, const char* codecKey)
{
    const QJsonValue codec = format.value(QLatin1String(codecKey));
    return !codec.isString() || codec.toString() != QLatin1String("none");
}

// Cookies as yt-dlp lists them for a format ("a=1; Domain=.x.org; Path=/;
// Secure; b=2; ..."): only the name=value pairs go into a Cookie header.
QByteArray CookieHeaderOf(const QString& cookies)
{
    static const QStringList attributes = {"domain", "path",     "expires", "max-age",
                                           "secure", "httponly", "samesite"};
    QStringList pairs;
    for (const QString& part : cookies.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString item = part.trimmed();
        const QString name = item.section(QLatin1Char('='), 0, 0).trimmed();
        if (item.contains(QLatin1Char('=')) && !attributes.contains(name.toLower()))
            pairs += item;
    }
    return pairs.join(QLatin1String("; ")).toUtf8();
}

THeaderList HeadersOf(const QJsonObject& format)
{
    THeaderList headers;
    const QJsonObject table = format.value(QLatin1String("http_headers")).toObject();
    for (auto it = table.begin(); it != table.end(); ++it)
        headers.append({it.key().toUtf8(), it.value().toString().toUtf8()});
    const QByteArray cookie = CookieHeaderOf(format.value(QLatin1String("cookies")).toString());
    const bool hasCookieHeader = table.contains(QLatin1String("Cookie"));
    if (!cookie.isEmpty() && !hasCookieHeader)
        headers.append({"Cookie", cookie});
    return headers;
}

std::optional<TFormat> ReadFormat(const QJsonObject& format)
{
    TFormat read;
    read.Url =
        QUrl::fromEncoded(format.value(QLatin1String("url")).toString().toUtf8(), QUrl::StrictMode);
    if (!read.Url.isValid() || !IsFetchableUrl(read.Url))
        return std::nullopt;
    read.Transport = TransportOf(format.value(QLatin1String("protocol")).toString(), read.Url);
    if (read.Transport == TTransport::Unusable)
        return std::nullopt;
    // A DASH representation is reached through its manifest.
    if (format.value(QLatin1String("protocol")).toString() == QLatin1String("http_dash_segments")) {
        const QUrl manifest = QUrl::fromEncoded(
            format.value(QLatin1String("manifest_url")).toString().toUtf8(), QUrl::StrictMode);
        if (IsFetchableUrl(manifest))
            read.Url = manifest;
    }
    read.Video = HasTrack(format, "vcodec");
    read.Audio = HasTrack(format, "acodec");
    if (!format.value(QLatin1String("vcodec")).isString() &&
        AudioExtensions().contains(format.value(QLatin1String("ext")).toString().toUtf8()))
        read.Video = false;
    read.Id = format.value(QLatin1String("format_id")).toString();
    read.Headers = HeadersOf(format);
    return read;
}

// The one video the result describes: a playlist's first entry that has any.
QJsonObject VideoOf(const QJsonObject& info)
{
    if (info.value(QLatin1String("_type")).toString() != QLatin1String("playlist"))
        return info;
    for (const QJsonValue& entry : info.value(QLatin1String("entries")).toArray()) {
        const QJsonObject video = VideoOf(entry.toObject());
        if (video.contains(QLatin1String("formats")) || video.contains(QLatin1String("url")))
            return video;
    }
    return {};
}

// yt-dlp lists formats from worst to best.
QList<TFormat> UsableFormats(const QJsonObject& video,
                             const std::function<bool(const QUrl&)>& allowed)
{
    QJsonArray list = video.value(QLatin1String("formats")).toArray();
    if (list.isEmpty() && video.contains(QLatin1String("url")))
        list.append(video);
    QList<TFormat> formats;
    for (const QJsonValue& value : list) {
        std::optional<TFormat> format = ReadFormat(value.toObject());
        if (format && allowed(format->Url))
            formats.append(*format);
    }
    return formats;
}

const TFormat* Best(const QList<TFormat>& formats, const std::function<bool(const TFormat&)>& fits)
{
    for (auto it = formats.crbegin(); it != formats.crend(); ++it) {
        if (fits(*it))
            return &*it;
    }
    return nullptr;
}

bool IsOrdinaryHeader(const QByteArray& name, const QByteArray& value)
{
    const QByteArray lower = name.toLower();
    if (lower == "user-agent")
        return value == YtDlpUserAgent();
    return lower == "accept" || lower == "accept-language" || lower == "accept-encoding" ||
           lower == "sec-fetch-mode";
}

THeaderList ExtraHeadersOf(const TFormat& format)
{
    THeaderList extra;
    for (const auto& [name, value] : format.Headers) {
        if (!IsOrdinaryHeader(name, value))
            extra.append({name, value});
    }
    return extra;
}

TYtDlpChoice FileChoice(const TFormat& format, const QString& what)
{
    TYtDlpChoice choice;
    choice.Kind = TYtDlpChoice::TKind::File;
    choice.Url = format.Url;
    choice.ExtraHeaders = ExtraHeadersOf(format);
    choice.Source = {{format.Url}, format.Headers, {}};
    choice.Note = QStringLiteral("%1 (format %2)").arg(what, format.Id);
    return choice;
}

TYtDlpChoice StreamChoice(const QList<const TFormat*>& parts, const QString& what)
{
    TYtDlpChoice choice;
    choice.Kind = TYtDlpChoice::TKind::Stream;
    QStringList ids;
    for (const TFormat* part : parts) {
        // DASH video and audio come from one manifest.
        if (!choice.Source.Inputs.contains(part->Url))
            choice.Source.Inputs.append(part->Url);
        for (const auto& header : part->Headers) {
            if (!choice.Source.Headers.contains(header))
                choice.Source.Headers.append(header);
        }
        ids += part->Id;
    }
    choice.Note = QStringLiteral("%1 (format %2)").arg(what, ids.join(QLatin1Char('+')));
    return choice;
}

// The pair yt-dlp itself would merge, when both are still usable.
QList<const TFormat*> RequestedPair(const QJsonObject& video, const QList<TFormat>& usable)
{
    const QJsonArray requested = video.value(QLatin1String("requested_formats")).toArray();
    if (requested.size() != 2)
        return {};
    QList<const TFormat*> pair;
    for (const QJsonValue& value : requested) {
        const QString id = value.toObject().value(QLatin1String("format_id")).toString();
        const TFormat* found = Best(usable, [&](const TFormat& f) { return f.Id == id; });
        if (!found)
            return {};
        pair.append(found);
    }
    return pair;
}

}  // namespace

QByteArray YtDlpUserAgent()
{
    return QByteArrayLiteral(
        "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/110.0.0.0 Safari/537.36");
}

QString ExtractorKeyOf(const QJsonObject& info)
{
    const QString key = info.value(QLatin1String("extractor_key")).toString();
    return key.isEmpty() ? info.value(QLatin1String("extractor")).toString() : key;
}

bool IsGenericExtractor(const QString& nameOrKey)
{
    return nameOrKey.compare(QLatin1String("generic"), Qt::CaseInsensitive) == 0;
}

TYtDlpChoice ChooseFormat(const QJsonObject& info, const std::function<bool(const QUrl&)>& allowed)
{
    const QJsonObject video = VideoOf(info);
    const QList<TFormat> formats = UsableFormats(video, allowed);
    auto isFile = [](const TFormat& f) { return f.Transport == TTransport::File; };
    auto isPlaylist = [](const TFormat& f) { return f.Transport == TTransport::Playlist; };

    if (const TFormat* f = Best(formats, [&](auto& f) { return isFile(f) && f.Video && f.Audio; }))
        return FileChoice(*f, QStringLiteral("best file with video and audio"));
    const bool anyVideo = Best(formats, [](const TFormat& f) { return f.Video; }) != nullptr;
    if (!anyVideo) {
        if (const TFormat* f = Best(formats, [&](auto& f) { return isFile(f) && f.Audio; }))
            return FileChoice(*f, QStringLiteral("best audio file"));
    }
    if (const TFormat* f = Best(
            formats, [&](auto& f) { return isPlaylist(f) && f.Audio && (f.Video || !anyVideo); }))
        return StreamChoice({f}, QStringLiteral("best stream"));
    QList<const TFormat*> pair = RequestedPair(video, formats);
    if (pair.isEmpty()) {
        const TFormat* v = Best(formats, [](const TFormat& f) { return f.Video && !f.Audio; });
        const TFormat* a = Best(formats, [](const TFormat& f) { return f.Audio && !f.Video; });
        if (v && a)
            pair = {v, a};
    }
    if (!pair.isEmpty())
        return StreamChoice(pair, QStringLiteral("best video and audio"));
    // A silent video is still the page's media.
    if (const TFormat* f = Best(formats, isFile))
        return FileChoice(*f, QStringLiteral("best video file, no audio"));
    if (const TFormat* f = Best(formats, isPlaylist))
        return StreamChoice({f}, QStringLiteral("best stream, no audio"));

    TYtDlpChoice none;
    none.Note = video.isEmpty() ? QStringLiteral("yt-dlp found no video")
                                : QStringLiteral("none of yt-dlp's formats can be fetched");
    return none;
}
