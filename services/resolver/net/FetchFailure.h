#pragma once

// Why one fetch of the service found nothing, as the asker is told it: the
// reason's code and the reason in plain words (see ResolverReason.h).

#include "base/ResolverProtocol.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QUrl>

struct TFetchFailure
{
    TResolverReason Reason = TResolverReason::Other;
    QString Words;

    // The value of the reason header.
    QByteArray HeaderValue() const;

    // "host:port" as the link names it ("example.org" without a port).
    static QString ServerOf(const QUrl& url);
    // A connection that failed with ERROR before the answer's head
    // (AFTERHEAD false) or in the middle of the body.
    static TFetchFailure OfReply(QNetworkReply::NetworkError error, const QString& errorText,
                                 const QUrl& url, bool afterHead, int idleTimeoutMs);
    // An answer with an error status (400 and up) or a redirect without
    // a target: whether it was the page or the file that answered so
    // follows from the link's name.
    static TFetchFailure OfStatus(int status, const QByteArray& phrase, const QUrl& url);
    // A link that is not http or https with a host.
    static TFetchFailure OfUnfetchable(const QUrl& url);
};
