#include "ResolveJob.h"

#include "MediaTypes.h"

TResolveJob::TResolveJob(const TResolverLimits& limits, QObject* parent)
    : QObject(parent), m_limits(limits), m_fetch(&m_network, limits)
{
    m_deadline.setSingleShot(true);
    connect(&m_parse, &TPageParse::Finished, this, &TResolveJob::PageRead);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_fetch.Abort();
        m_parse.Abort();
        Answer(ErrorAnswer(),
               QStringLiteral("no answer within %1 ms").arg(m_limits.AnswerTimeoutMs));
    });
}

void TResolveJob::Start(const QByteArray& link)
{
    m_deadline.start(m_limits.AnswerTimeoutMs);
    const QUrl url = QUrl::fromEncoded(link, QUrl::TolerantMode);
    if (!IsFetchableUrl(url)) {
        QMetaObject::invokeMethod(
            this, [this] { Answer(ErrorAnswer(), QStringLiteral("not an http or https link")); },
            Qt::QueuedConnection);
        return;
    }
    // What the typed link names decides where everything after it may go.
    m_fetch.SetPolicy(TAddressPolicy::ForTypedLink(url));
    connect(&m_fetch, &TUrlFetch::Finished, this, &TResolveJob::LinkFetched);
    m_fetch.Start(url, TUrlFetch::TMode::ReadPage);
}

void TResolveJob::Cancel()
{
    m_answered = true;
    m_deadline.stop();
    m_fetch.Abort();
    m_parse.Abort();
}

void TResolveJob::LinkFetched(const TFetchResult& result)
{
    disconnect(&m_fetch, &TUrlFetch::Finished, this, &TResolveJob::LinkFetched);
    if (!result.Arrived) {
        Answer(ErrorAnswer(), result.Failure);
        return;
    }
    if (result.IsMedia) {
        Answer(result.FinalUrl.adjusted(QUrl::RemoveFragment).toEncoded(),
               QStringLiteral("the link is media"));
        return;
    }
    if (!result.IsPage) {
        Answer(ErrorAnswer(), QStringLiteral("status %1, %2, neither media nor a page")
                                  .arg(result.Status)
                                  .arg(QString::fromLatin1(result.ContentType)));
        return;
    }
    m_pageTruncated = result.Truncated;
    m_parse.Start(result.Body, result.FinalUrl);
}

void TResolveJob::PageRead(bool ok, const QList<QUrl>& candidates, const QString& failure)
{
    if (m_answered)
        return;
    if (!ok) {
        Answer(ErrorAnswer(), failure);
        return;
    }
    m_candidates = candidates.mid(0, m_limits.MaxCandidates);
    if (m_candidates.isEmpty()) {
        Answer(ErrorAnswer(),
               m_pageTruncated
                   ? QStringLiteral("no media in the first %1 bytes").arg(m_limits.MaxPageBytes)
                   : QStringLiteral("no media on the page"));
        return;
    }
    connect(&m_fetch, &TUrlFetch::Finished, this, &TResolveJob::CandidateChecked);
    CheckNextCandidate();
}

void TResolveJob::CheckNextCandidate()
{
    if (m_nextCandidate >= m_candidates.size()) {
        Answer(ErrorAnswer(),
               QStringLiteral("none of %1 candidates is media").arg(m_candidates.size()));
        return;
    }
    m_fetch.Start(m_candidates.at(m_nextCandidate++), TUrlFetch::TMode::HeadersOnly);
}

void TResolveJob::CandidateChecked(const TFetchResult& result)
{
    if (m_answered)
        return;
    if (result.Arrived && result.IsMedia) {
        Answer(result.FinalUrl.adjusted(QUrl::RemoveFragment).toEncoded(),
               QStringLiteral("candidate %1 of %2").arg(m_nextCandidate).arg(m_candidates.size()));
        return;
    }
    CheckNextCandidate();
}

void TResolveJob::Answer(const QByteArray& answer, const QString& note)
{
    if (m_answered)
        return;
    m_answered = true;
    m_deadline.stop();
    m_note = note;
    emit Answered(answer);
}
