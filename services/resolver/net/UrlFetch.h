#pragma once

// One GET of a link, redirects followed by hand so that every hop is checked
// before it is requested: its scheme, and its address against the policy
// (a direct request goes to the address that was checked). Stops at the response headers unless the
// response is a web page, whose body it then reads up to a bound.

#include "services/resolver/net/AddressPolicy.h"
#include "services/resolver/net/FetchFailure.h"
#include "services/resolver/net/HostCheck.h"
#include "services/resolver/net/ResolverLimits.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

struct TFetchResult
{
    bool Arrived = false;  // a final (non-redirect) response came in
    QString Failure;       // why not, for the log
    TFetchFailure Reason;  // why not, for the asker; or why an answer is no media
    QUrl FinalUrl;
    int Status = 0;
    QByteArray StatusPhrase;
    QByteArray ContentType;
    QByteArray Disposition;
    bool IsMedia = false;
    bool IsPage = false;
    QByteArray Body;  // the page's first MaxPageBytes bytes
    bool Truncated = false;
};

class TUrlFetch : public QObject
{
    Q_OBJECT

public:
    enum class TMode
    {
        HeadersOnly,  // never reads a body
        ReadPage      // reads the body when the response is a web page
    };

    TUrlFetch(QNetworkAccessManager* manager, const TResolverLimits& limits,
              QObject* parent = nullptr);
    ~TUrlFetch() override;

    // Where the fetches may go; kept across Start calls, so that what one
    // lookup settled about the typed link holds for the next fetch too.
    // Until set, no address of this machine or its network is allowed.
    void SetPolicy(const TAddressPolicy& policy) { m_policy = policy; }

    void Start(const QUrl& url, TMode mode);
    // Stops the transfer; Finished is not emitted afterwards.
    void Abort();

signals:
    void Finished(const TFetchResult& result);

private:
    void Request(const QUrl& url);
    void HostChecked(const THostDecision& decision);
    void HeadersArrived();
    void BodyReadable();
    void ReplyFinished();
    void Complete();
    void Fail(const QString& why, const TFetchFailure& reason);
    // The reply ended with an error (before or after its head).
    void FailReply();
    void DropReply();

    QNetworkAccessManager* m_manager;
    TResolverLimits m_limits;
    TAddressPolicy m_policy;
    THostCheck m_hostCheck;
    QUrl m_url;  // the link of the hop under way, as the page named it
    TMode m_mode = TMode::HeadersOnly;
    QPointer<QNetworkReply> m_reply;
    TFetchResult m_result;
    int m_redirects = 0;
    bool m_readingBody = false;
    bool m_done = false;
};
