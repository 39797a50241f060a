#include "services/resolver/ResolveJob.h"

#include "services/resolver/net/MediaTypes.h"
#include "services/resolver/stream/StreamLinks.h"
#include "services/resolver/ytdlp/YtDlpNotice.h"

namespace {

// Why a link that answered, but with neither a page nor media, gives nothing.
TFetchFailure NeitherPageNorMedia(const TFetchResult& result)
{
    if (result.Status >= 300)
        return TFetchFailure::OfStatus(result.Status, result.StatusPhrase, result.FinalUrl);
    const QByteArray type = MediaTypeOf(result.ContentType);
    return {TResolverReason::NotMedia,
            type.isEmpty()
                ? QStringLiteral("the link leads to neither a web page nor media")
                : QStringLiteral("the link leads to neither a web page nor media (it is %1)")
                      .arg(QString::fromLatin1(type))};
}

}  // namespace

TResolveJob::TResolveJob(const TResolverLimits& limits, QObject* parent)
    : QObject(parent),
      m_limits(limits),
      m_fetch(&m_network, limits),
      m_extractorAnswer(&m_network, limits)
{
    m_deadline.setSingleShot(true);
    connect(&m_parse, &TPageParse::Finished, this, &TResolveJob::PageRead);
    connect(&m_deadline, &QTimer::timeout, this, &TResolveJob::OutOfTime);
    connect(&m_extractor, &TYtDlpRun::Claimed, this, &TResolveJob::ExtractorClaimed);
    connect(&m_extractor, &TYtDlpRun::Finished, this, &TResolveJob::ExtractorFinished);
    connect(&m_extractorAnswer, &TYtDlpAnswer::Done, this, &TResolveJob::ExtractorAnswered);
}

void TResolveJob::Start(const QByteArray& link)
{
    m_deadline.start(m_limits.AnswerTimeoutMs);
    m_link = link;
    const QUrl url = QUrl::fromEncoded(link, QUrl::TolerantMode);
    m_typedUrl = url;
    if (!IsFetchableUrl(url)) {
        QMetaObject::invokeMethod(
            this,
            [this, url] {
                Answer(ErrorAnswer(), QStringLiteral("not an http or https link"),
                       TFetchFailure::OfUnfetchable(url));
            },
            Qt::QueuedConnection);
        return;
    }
    // What the typed link names decides where everything after it may go.
    m_policy = TAddressPolicy::ForTypedLink(url);
    m_fetch.SetPolicy(m_policy);
    TYtDlpRun::PrepareNext(m_limits.FetchIdleTimeoutMs);
    connect(&m_fetch, &TUrlFetch::Finished, this, &TResolveJob::LinkFetched);
    m_fetch.Start(url, TUrlFetch::TMode::ReadPage);
}

void TResolveJob::Cancel()
{
    m_answered = true;
    StopAll();
}

// Step 1 ---------------------------------------------------------------------

void TResolveJob::LinkFetched(const TFetchResult& result)
{
    disconnect(&m_fetch, &TUrlFetch::Finished, this, &TResolveJob::LinkFetched);
    if (!result.Arrived) {
        Answer(ErrorAnswer(), result.Failure, result.Reason);
        return;
    }
    if (result.IsMedia) {
        Answer(result.FinalUrl.adjusted(QUrl::RemoveFragment).toEncoded(),
               QStringLiteral("the link is media"));
        return;
    }
    if (IsStreamResponse(result.Status, result.ContentType, result.FinalUrl)) {
        Answer(StreamAnswer(result.FinalUrl, m_typedUrl), QStringLiteral("the link is a stream"));
        return;
    }
    StartExtractor();
    if (!result.IsPage) {
        BuiltInDone({},
                    QStringLiteral("status %1, %2, neither media nor a page")
                        .arg(result.Status)
                        .arg(QString::fromLatin1(result.ContentType)),
                    NeitherPageNorMedia(result));
        return;
    }
    m_pageTruncated = result.Truncated;
    m_parse.Start(result.Body, result.FinalUrl);
}

// Steps 2 and 4: yt-dlp ------------------------------------------------------

void TResolveJob::StartExtractor()
{
    m_extractorStarted = true;
    m_extractor.Start(m_link, m_limits.FetchIdleTimeoutMs, m_limits.AnswerTimeoutMs);
}

void TResolveJob::ExtractorClaimed(const QString& extractor)
{
    m_claim = IsGenericExtractor(extractor) ? TClaim::Generic : TClaim::Site;
    Decide();
}

void TResolveJob::ExtractorFinished(const TYtDlpOutcome& outcome)
{
    if (m_answered)
        return;
    if (outcome.Status != TYtDlpOutcome::TStatus::Done) {
        if (outcome.Status == TYtDlpOutcome::TStatus::Unavailable)
            ReportYtDlpUnavailableOnce(outcome.Failure);
        ExtractorAnswered({}, outcome.Failure);
        return;
    }
    if (m_claim == TClaim::Unknown) {
        // No claim line seen (another yt-dlp's log): its result names the
        // extractor instead.
        m_claim = IsGenericExtractor(ExtractorKeyOf(outcome.Info)) ? TClaim::Generic : TClaim::Site;
    }
    m_extractorAnswer.Start(outcome.Info, m_policy);
}

void TResolveJob::ExtractorAnswered(const QByteArray& link, const QString& note)
{
    m_extracted = {true, link, note, {}};
    Decide();
}

// Step 3: the built-in page rules --------------------------------------------

void TResolveJob::PageRead(bool ok, const QList<QUrl>& candidates, const QString& failure)
{
    if (m_answered)
        return;
    if (!ok) {
        BuiltInDone({}, failure,
                    {TResolverReason::Other, QStringLiteral("the page could not be read")});
        return;
    }
    m_candidates = candidates.mid(0, m_limits.MaxCandidates);
    if (m_candidates.isEmpty()) {
        const TFetchFailure none{TResolverReason::NoMedia,
                                 m_pageTruncated
                                     ? QStringLiteral("the first %1 MiB of the page hold "
                                                      "no video or sound that could be "
                                                      "found")
                                           .arg(m_limits.MaxPageBytes / (1024 * 1024))
                                     : QString::fromLatin1(ReasonWords::NoMedia)};
        BuiltInDone(
            {},
            m_pageTruncated
                ? QStringLiteral("no media in the first %1 bytes").arg(m_limits.MaxPageBytes)
                : QStringLiteral("no media on the page"),
            none);
        return;
    }
    connect(&m_fetch, &TUrlFetch::Finished, this, &TResolveJob::CandidateChecked);
    CheckNextCandidate();
}

void TResolveJob::CheckNextCandidate()
{
    if (m_nextCandidate >= m_candidates.size() && m_streamCandidate.isValid()) {
        BuiltInDone(
            StreamAnswer(m_streamCandidate, m_typedUrl),
            QStringLiteral("a stream, no file among %1 candidates").arg(m_candidates.size()));
        return;
    }
    if (m_nextCandidate >= m_candidates.size()) {
        // A page whose media could not be fetched says why; one whose links
        // led to no media at all has none.
        TFetchFailure reason{TResolverReason::NoMedia, QString::fromLatin1(ReasonWords::NoMedia)};
        if (m_candidateFailure)
            reason = {m_candidateFailure->Reason,
                      QStringLiteral("the page names media, but ") + m_candidateFailure->Words};
        BuiltInDone({}, QStringLiteral("none of %1 candidates is media").arg(m_candidates.size()),
                    reason);
        return;
    }
    m_fetch.Start(m_candidates.at(m_nextCandidate++), TUrlFetch::TMode::HeadersOnly);
}

void TResolveJob::CandidateChecked(const TFetchResult& result)
{
    if (m_answered)
        return;
    if (result.Arrived && result.IsMedia) {
        BuiltInDone(
            result.FinalUrl.adjusted(QUrl::RemoveFragment).toEncoded(),
            QStringLiteral("candidate %1 of %2").arg(m_nextCandidate).arg(m_candidates.size()));
        return;
    }
    if (!m_candidateFailure && !result.Arrived)
        m_candidateFailure = result.Reason;
    else if (!m_candidateFailure && result.Arrived && result.Status >= 400)
        m_candidateFailure =
            TFetchFailure::OfStatus(result.Status, result.StatusPhrase, result.FinalUrl);
    // A stream is taken only when no candidate is a file.
    if (result.Arrived && !m_streamCandidate.isValid() &&
        IsStreamResponse(result.Status, result.ContentType, result.FinalUrl))
        m_streamCandidate = result.FinalUrl;
    CheckNextCandidate();
}

void TResolveJob::BuiltInDone(const QByteArray& link, const QString& note,
                              const TFetchFailure& reason)
{
    m_builtIn = {true, link, note, reason};
    Decide();
}

// The order ------------------------------------------------------------------

void TResolveJob::Decide()
{
    if (m_answered)
        return;
    const bool extractorDone = !m_extractorStarted || m_extracted.Done;
    // A site extractor's answer comes first; the built-in rules wait for it.
    if (m_claim == TClaim::Site && !extractorDone)
        return;
    if (m_claim == TClaim::Site && !m_extracted.Link.isEmpty()) {
        Answer(m_extracted.Link, m_extracted.Note);
        return;
    }
    if (!m_builtIn.Done)
        return;
    if (!m_builtIn.Link.isEmpty() && (m_claim != TClaim::Unknown || extractorDone)) {
        Answer(m_builtIn.Link, m_builtIn.Note);
        return;
    }
    if (!extractorDone)
        return;
    if (!m_extracted.Link.isEmpty()) {
        Answer(m_extracted.Link, m_extracted.Note);
        return;
    }
    // The built-in rules know why the page gave nothing; yt-dlp's own
    // failure goes to the log.
    Answer(ErrorAnswer(),
           m_extractorStarted ? m_builtIn.Note + QStringLiteral("; ") + m_extracted.Note
                              : m_builtIn.Note,
           m_builtIn.Reason);
}

void TResolveJob::OutOfTime()
{
    const QString late = QStringLiteral("no answer within %1 ms").arg(m_limits.AnswerTimeoutMs);
    // What the built-in rules found still counts when yt-dlp is what is late.
    if (m_builtIn.Done && !m_builtIn.Link.isEmpty()) {
        Answer(m_builtIn.Link, m_builtIn.Note + QStringLiteral(", yt-dlp ") + late);
        return;
    }
    if (m_builtIn.Done) {
        Answer(ErrorAnswer(), m_builtIn.Note + QStringLiteral(", yt-dlp ") + late,
               m_builtIn.Reason);
        return;
    }
    Answer(
        ErrorAnswer(), late,
        {TResolverReason::Other,
         QStringLiteral("no answer was found within %1 s").arg(m_limits.AnswerTimeoutMs / 1000)});
}

void TResolveJob::Answer(const QByteArray& answer, const QString& note, const TFetchFailure& reason)
{
    if (m_answered)
        return;
    m_answered = true;
    StopAll();
    m_note = note;
    m_reason = reason;
    emit Answered(answer);
}

void TResolveJob::StopAll()
{
    m_deadline.stop();
    m_fetch.Abort();
    m_parse.Abort();
    m_extractor.Cancel();
    m_extractorAnswer.Abort();
}
