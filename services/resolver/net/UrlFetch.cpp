#include "services/resolver/net/UrlFetch.h"

#include "services/resolver/net/MediaTypes.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "base/Version.h"

namespace {

const QByteArray UserAgent = "Mozilla/5.0 (X11; Linux x86_64) quorvex-resolver/" QUORVEX_VERSION;

constexpr qint64 ReadBufferBytes = 256 * 1024;

bool IsRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

TUrlFetch::TUrlFetch(QNetworkAccessManager* manager, const TResolverLimits& limits, QObject* parent)
    : QObject(parent), m_manager(manager), m_limits(limits)
{
    connect(&m_hostCheck, &THostCheck::Decided, this, &TUrlFetch::HostChecked);
}

TUrlFetch::~TUrlFetch()
{
    DropReply();
}

void TUrlFetch::Start(const QUrl& url, TMode mode)
{
    m_mode = mode;
    m_result = TFetchResult();
    m_result.FinalUrl = url;
    m_redirects = 0;
    m_readingBody = false;
    m_done = false;
    if (!IsFetchableUrl(url)) {
        // Reported from the event loop like every other outcome, so that the
        // caller never sees Finished from inside Start.
        QMetaObject::invokeMethod(
            this,
            [this, url] {
                Fail(QStringLiteral("not an http or https link"),
                     TFetchFailure::OfUnfetchable(url));
            },
            Qt::QueuedConnection);
        return;
    }
    Request(url);
}

void TUrlFetch::Abort()
{
    m_done = true;
    m_hostCheck.Abort();
    DropReply();
}

void TUrlFetch::Request(const QUrl& url)
{
    m_url = url;
    m_result.FinalUrl = url;
    m_hostCheck.Start(url, &m_policy);
}

void TUrlFetch::HostChecked(const THostDecision& decision)
{
    if (m_done)
        return;
    if (!decision.Allowed) {
        const QString why = decision.Why;
        if (decision.NotFound)
            Fail(why, {TResolverReason::UnknownHost,
                       QString::fromStdString(ReasonWords::UnknownHost(
                           m_url.host(QUrl::EncodeUnicode).toStdString()))});
        else
            Fail(why, {TResolverReason::NotAllowed,
                       QStringLiteral("the link leads to %1, where the service may not go (%2)")
                           .arg(TFetchFailure::ServerOf(m_url), why)});
        return;
    }
    QNetworkRequest request(decision.RequestUrl);
    if (!decision.Host.isEmpty()) {
        // Sent to the checked address; the server and TLS still see the
        // name. HTTP/2 would name the address instead (its authority comes
        // from the URL, not from Host), so such a request stays on HTTP/1.1.
        request.setRawHeader("Host", decision.Host);
        request.setPeerVerifyName(decision.VerifyName);
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(m_limits.FetchIdleTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent);
    request.setRawHeader("Accept", "text/html,application/xhtml+xml,video/*,audio/*,*/*;q=0.8");
    m_reply = m_manager->get(request);
    // Take the body off the connection only as fast as it is looked at, so
    // that a page larger than the bound is never pulled in whole.
    m_reply->setReadBufferSize(ReadBufferBytes);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &TUrlFetch::HeadersArrived);
    connect(m_reply, &QNetworkReply::readyRead, this, &TUrlFetch::BodyReadable);
    connect(m_reply, &QNetworkReply::finished, this, &TUrlFetch::ReplyFinished);
}

void TUrlFetch::HeadersArrived()
{
    if (m_done || !m_reply || m_readingBody)
        return;
    const QVariant statusAttribute = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid())
        return;
    const int status = statusAttribute.toInt();
    const QByteArray location = m_reply->rawHeader("Location").trimmed();
    if (IsRedirectStatus(status) && !location.isEmpty()) {
        const QUrl from = m_url;
        DropReply();
        if (++m_redirects > m_limits.MaxRedirects) {
            const QString why = QStringLiteral("more than %1 redirects").arg(m_limits.MaxRedirects);
            Fail(why, {TResolverReason::Other, QStringLiteral("the link leads through ") + why});
            return;
        }
        const QUrl target = from.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
        if (!IsFetchableUrl(target)) {
            Fail(QStringLiteral("redirect to a link that is not http or https"),
                 {TResolverReason::NotHttp,
                  QStringLiteral("the link redirects to a link that is not http or https")});
            return;
        }
        Request(target);
        return;
    }

    m_result.FinalUrl = m_url;
    m_result.Status = status;
    m_result.StatusPhrase =
        m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_result.ContentType = m_reply->rawHeader("Content-Type");
    m_result.Disposition = m_reply->rawHeader("Content-Disposition");
    const bool success = status >= 200 && status < 300;
    m_result.IsMedia =
        success && IsMediaResponse(m_result.ContentType, m_result.FinalUrl, m_result.Disposition);
    m_result.IsPage =
        success && !m_result.IsMedia && IsPageResponse(m_result.ContentType, m_result.FinalUrl);
    if (m_mode == TMode::ReadPage && m_result.IsPage) {
        m_readingBody = true;
        BodyReadable();
        return;
    }
    DropReply();
    Complete();
}

void TUrlFetch::BodyReadable()
{
    if (m_done || !m_reply || !m_readingBody)
        return;
    const qint64 room = m_limits.MaxPageBytes - m_result.Body.size();
    if (room > 0)
        m_result.Body += m_reply->read(room);
    if (m_result.Body.size() >= m_limits.MaxPageBytes &&
        (m_reply->bytesAvailable() > 0 || !m_reply->isFinished())) {
        m_result.Truncated = true;
        DropReply();
        Complete();
    }
}

void TUrlFetch::ReplyFinished()
{
    if (m_done || !m_reply)
        return;
    if (m_readingBody) {
        BodyReadable();
        if (m_done)
            return;
        if (m_reply->error() != QNetworkReply::NoError) {
            FailReply();
            return;
        }
        DropReply();
        Complete();
        return;
    }
    // Finished before any usable headers: the host could not be reached,
    // timed out, or answered something that is not HTTP.
    if (m_reply->error() != QNetworkReply::NoError) {
        FailReply();
        return;
    }
    HeadersArrived();
    if (!m_done)
        Fail(QStringLiteral("no response"),
             {TResolverReason::ConnectionFailed, QStringLiteral("the server at %1 sent no answer")
                                                     .arg(TFetchFailure::ServerOf(m_url))});
}

void TUrlFetch::Complete()
{
    m_done = true;
    m_result.Arrived = true;
    emit Finished(m_result);
}

void TUrlFetch::FailReply()
{
    // Named by the link as the page gave it, not by the checked address.
    Fail(m_reply->errorString(),
         TFetchFailure::OfReply(m_reply->error(), m_reply->errorString(), m_url, m_readingBody,
                                m_limits.FetchIdleTimeoutMs));
}

void TUrlFetch::Fail(const QString& why, const TFetchFailure& reason)
{
    m_done = true;
    m_hostCheck.Abort();
    DropReply();
    m_result.Arrived = false;
    m_result.Failure = why;
    m_result.Reason = reason;
    m_result.Body.clear();
    emit Finished(m_result);
}

void TUrlFetch::DropReply()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}
