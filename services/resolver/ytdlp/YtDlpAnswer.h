#pragma once

// Turns yt-dlp's result into the one link the download gets: the chosen
// file itself, or a stream link of this service when the media is a
// playlist, a video and an audio file, or a file the server hands out only
// with the headers yt-dlp found it with (asked for once without them to
// find out).

#include "services/resolver/net/AddressPolicy.h"
#include "services/resolver/net/UrlFetch.h"
#include "services/resolver/ytdlp/YtDlpFormats.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>

class TYtDlpAnswer : public QObject
{
    Q_OBJECT

public:
    // Issues a stream link for a source; empty when none can be served.
    using TIssue = std::function<QByteArray(const TStreamSource&)>;

    TYtDlpAnswer(QNetworkAccessManager* manager, const TResolverLimits& limits,
                 QObject* parent = nullptr);

    // The registry's Issue unless a test puts its own in.
    void SetIssue(TIssue issue) { m_issue = std::move(issue); }

    void Start(const QJsonObject& info, const TAddressPolicy& policy);
    void Abort() { m_fetch.Abort(); }

signals:
    // Exactly once after Start (unless aborted): the link, or empty.
    void Done(const QByteArray& link, const QString& note);

private:
    void FileChecked(const TFetchResult& result);
    void AnswerStream(const TStreamSource& source, const QString& note);
    void DoneLater(const QByteArray& link, const QString& note);

    TUrlFetch m_fetch;
    TIssue m_issue;
    TYtDlpChoice m_choice;
};
