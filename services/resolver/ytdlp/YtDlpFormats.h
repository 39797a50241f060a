#pragma once

// Reads the JSON that yt-dlp prints for one link and chooses what the
// download gets: the best single file holding both video and audio over
// http or https; for an audio-only page the best audio file; else a stream
// (an HLS or DASH playlist, or a video and an audio file to be put
// together) that this service serves as one file.

#include "services/resolver/stream/StreamRegistry.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

using THeaderList = QList<QPair<QByteArray, QByteArray>>;

struct TYtDlpChoice
{
    enum class TKind
    {
        None,   // nothing the download can take
        File,   // one plain file: Url
        Stream  // Source, served by this service
    };
    TKind Kind = TKind::None;
    QUrl Url;
    // File: the headers yt-dlp fetches it with beyond the ordinary ones
    // (Referer, Cookie, a User-Agent of the site's own, ...). Whether they
    // matter is found out by asking for the file without them.
    THeaderList ExtraHeaders;
    // Stream, or File when the extra headers turn out to matter.
    TStreamSource Source;
    QString Note;  // what was chosen, or why nothing; for the log
};

// The agent yt-dlp is told to use; a format whose User-Agent differs from it
// was given one by the site's extractor.
QByteArray YtDlpUserAgent();

// The extractor that produced the result ("Generic", "Youtube", ...).
QString ExtractorKeyOf(const QJsonObject& info);
// Whether an extractor name or key is yt-dlp's generic page extractor.
bool IsGenericExtractor(const QString& nameOrKey);

// ALLOWED tells whether the service may fetch a link (the address policy).
TYtDlpChoice ChooseFormat(const QJsonObject& info, const std::function<bool(const QUrl&)>& allowed);
