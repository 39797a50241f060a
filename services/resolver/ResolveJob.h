#pragma once

// Turns one link into a direct media link, in this order:
//  1. the link itself, when it is media;
//  2. what yt-dlp finds, when one of its site extractors takes the link;
//  3. the first candidate on the page whose response headers say media
//     (the built-in page rules);
//  4. what yt-dlp's generic extractor finds (players set up by scripts,
//     iframe players, ...).
// yt-dlp starts as soon as the link is known not to be media and runs beside
// the page fetch and the built-in rules; without yt-dlp, step 3 answers
// alone.

#include "services/resolver/net/AddressPolicy.h"
#include "services/resolver/net/ResolverLimits.h"
#include "services/resolver/net/UrlFetch.h"
#include "services/resolver/page/PageParse.h"
#include "services/resolver/ytdlp/YtDlpAnswer.h"
#include "services/resolver/ytdlp/YtDlpRun.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <optional>

#include "base/ResolverProtocol.h"

class TResolveJob : public QObject
{
    Q_OBJECT

public:
    explicit TResolveJob(const TResolverLimits& limits, QObject* parent = nullptr);

    // The link exactly as it was asked for, bytes of a URL.
    void Start(const QByteArray& link);
    // Gives up without answering (the asker has gone away).
    void Cancel();

    // Why the answer is "error", or which candidate was taken; for the log.
    QString Note() const { return m_note; }
    // Why the answer is "error", for the asker.
    const TFetchFailure& Reason() const { return m_reason; }

    static QByteArray ErrorAnswer() { return QByteArray(RefusalAnswer); }

signals:
    // Emitted exactly once, with the media link or "error", unless cancelled.
    void Answered(const QByteArray& answer);

private:
    // Step 1.
    void LinkFetched(const TFetchResult& result);
    // Steps 2 and 4: the yt-dlp run.
    void StartExtractor();
    void ExtractorClaimed(const QString& extractor);
    void ExtractorFinished(const TYtDlpOutcome& outcome);
    void ExtractorAnswered(const QByteArray& link, const QString& note);
    // Step 3: the built-in page rules.
    void PageRead(bool ok, const QList<QUrl>& candidates, const QString& failure);
    void CandidateChecked(const TFetchResult& result);
    void CheckNextCandidate();
    void BuiltInDone(const QByteArray& link, const QString& note, const TFetchFailure& reason = {});
    // The order between them.
    void Decide();
    void OutOfTime();
    void Answer(const QByteArray& answer, const QString& note, const TFetchFailure& reason = {});
    void StopAll();

    // What one of the two ways has found so far.
    struct TFinding
    {
        bool Done = false;
        QByteArray Link;  // empty: nothing
        QString Note;
        TFetchFailure Reason;  // why nothing, when nothing
    };
    enum class TClaim
    {
        Unknown,
        Site,
        Generic
    };

    TResolverLimits m_limits;
    TAddressPolicy m_policy;
    // A connection pool of its own: the few connections allowed per host
    // must not be held up by another request's stalling page on that host.
    QNetworkAccessManager m_network;
    TUrlFetch m_fetch;
    TPageParse m_parse;
    bool m_pageTruncated = false;
    QTimer m_deadline;
    QUrl m_typedUrl;
    QList<QUrl> m_candidates;
    QUrl m_streamCandidate;  // the first candidate that is an HLS or DASH stream
    qsizetype m_nextCandidate = 0;
    // Why the first candidate that failed did, when it could not be reached
    // or answered an error status.
    std::optional<TFetchFailure> m_candidateFailure;
    QByteArray m_link;

    TYtDlpRun m_extractor;
    TYtDlpAnswer m_extractorAnswer;
    bool m_extractorStarted = false;
    TClaim m_claim = TClaim::Unknown;
    TFinding m_builtIn;
    TFinding m_extracted;

    bool m_answered = false;
    QString m_note;
    TFetchFailure m_reason;
};
