#include "services/resolver/net/FetchFailure.h"

#include "services/resolver/net/MediaTypes.h"

#include <QStringList>

namespace {

QString Seconds(int milliseconds)
{
    if (milliseconds % 1000 == 0)
        return QStringLiteral("%1 s").arg(milliseconds / 1000);
    return QStringLiteral("%1 s").arg(milliseconds / 1000.0, 0, 'f', 1);
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

QByteArray TFetchFailure::HeaderValue() const
{
    return QByteArray::fromStdString(ResolverReasonValue(Reason, Words.toStdString()));
}

QString TFetchFailure::ServerOf(const QUrl& url)
{
    QString host = url.host(QUrl::EncodeUnicode);
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return url.port() == -1 ? host : host + QLatin1Char(':') + QString::number(url.port());
}

TFetchFailure TFetchFailure::OfReply(QNetworkReply::NetworkError error, const QString& errorText,
                                     const QUrl& url, bool afterHead, int idleTimeoutMs)
{
    const std::string server = ServerOf(url).toStdString();
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
            return {TResolverReason::ConnectionRefused, Text(ReasonWords::Refused(server))};
        case QNetworkReply::HostNotFoundError:
            return {TResolverReason::UnknownHost,
                    Text(ReasonWords::UnknownHost(url.host(QUrl::EncodeUnicode).toStdString()))};
        case QNetworkReply::TimeoutError:
        case QNetworkReply::OperationCanceledError:
            // The fetch's own time-out without data ends the reply this way;
            // the service never cancels a reply it still listens to.
            if (afterHead)
                return {TResolverReason::Stalled, Text(ReasonWords::StoppedSending(server))};
            return {TResolverReason::TimedOut,
                    Text(ReasonWords::NoAnswer(server, Seconds(idleTimeoutMs).toStdString()))};
        case QNetworkReply::SslHandshakeFailedError:
        case QNetworkReply::InsecureRedirectError:
            return {TResolverReason::SecureConnection,
                    Text(ReasonWords::SecureConnection(server, errorText.toStdString()))};
        case QNetworkReply::RemoteHostClosedError:
            if (afterHead)
                return {TResolverReason::ConnectionFailed,
                        QStringLiteral("the server at %1 broke off the transfer")
                            .arg(QString::fromStdString(server))};
            return {TResolverReason::ConnectionFailed,
                    QStringLiteral("the server at %1 closed the connection without an answer")
                        .arg(QString::fromStdString(server))};
        default:
            return {TResolverReason::ConnectionFailed,
                    Text(ReasonWords::ConnectionFailed(server, errorText.toStdString()))};
    }
}

TFetchFailure TFetchFailure::OfStatus(int status, const QByteArray& phrase, const QUrl& url)
{
    const bool file = HasMediaExtension(url) || HasStreamExtension(url);
    const QString what = file ? QStringLiteral("the media file") : QStringLiteral("the page");
    QString answer = QString::number(status);
    if (!phrase.trimmed().isEmpty())
        answer += QLatin1Char(' ') + QString::fromUtf8(phrase.trimmed());
    if (status >= 300 && status < 400)
        return {TResolverReason::HttpStatus,
                QStringLiteral("%1 answered %2 without saying where to go").arg(what, answer)};
    return {TResolverReason::HttpStatus, QStringLiteral("%1 answered %2").arg(what, answer)};
}

TFetchFailure TFetchFailure::OfUnfetchable(const QUrl& url)
{
    // "ftp://host/x" and "file:/x" are links of another kind; in
    // "example.org:8080/x" or "hello world" no link was meant.
    const QString scheme = url.scheme().toLower();
    static const QStringList otherSchemes = {QStringLiteral("file"),   QStringLiteral("data"),
                                             QStringLiteral("mailto"), QStringLiteral("javascript"),
                                             QStringLiteral("blob"),   QStringLiteral("about")};
    const bool http = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (url.isValid() && !scheme.isEmpty() && !http &&
        (url.toString().mid(scheme.size() + 1).startsWith(QLatin1String("//")) ||
         otherSchemes.contains(scheme)))
        return {TResolverReason::NotHttp, QString::fromLatin1(ReasonWords::NotHttp)};
    if (url.isValid() && http)
        return {TResolverReason::NotALink, QStringLiteral("the link names no server")};
    return {TResolverReason::NotALink, QString::fromLatin1(ReasonWords::NotALink)};
}
