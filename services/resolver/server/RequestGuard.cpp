#include "services/resolver/server/RequestGuard.h"

#include <QHttpServerRequest>

namespace {

// The value of every header named NAME (compared without regard to case).
QList<QByteArray> HeaderValues(const QHttpServerRequest& request, const QByteArray& name)
{
    QList<QByteArray> values;
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            values.append(value.trimmed());
    }
    return values;
}

// Splits a Host value into host and port ("127.0.0.1:8790", "[::1]:8790",
// "localhost"); the port is 80 when none is written. False when the value is
// not one.
bool SplitHost(const QByteArray& value, QByteArray* host, quint16* port)
{
    QByteArray portText;
    if (value.startsWith('[')) {
        const qsizetype close = value.indexOf(']');
        if (close < 0)
            return false;
        *host = value.mid(1, close - 1);
        const QByteArray rest = value.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(':'))
            return false;
        portText = rest.mid(1);
    } else {
        const qsizetype colon = value.indexOf(':');
        *host = colon < 0 ? value : value.left(colon);
        portText = colon < 0 ? QByteArray() : value.mid(colon + 1);
    }
    if (host->isEmpty())
        return false;
    if (portText.isEmpty()) {
        *port = 80;
        return true;
    }
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number == 0 || number > 65535)
        return false;
    *port = static_cast<quint16>(number);
    return true;
}

}  // namespace

TRequestGuard& TRequestGuard::Instance()
{
    static TRequestGuard guard;
    return guard;
}

void TRequestGuard::SetListenAddress(const QHostAddress& address, quint16 port)
{
    m_address = address;
    m_port = port;
}

QString TRequestGuard::RefusalReason(const QHttpServerRequest& request) const
{
    // A page in a browser always sends Origin with a cross-site fetch, and
    // a modern browser Sec-Fetch-Site with every request; the program and
    // command-line clients send neither ("none" is a user's own navigation).
    if (!HeaderValues(request, "Origin").isEmpty())
        return QStringLiteral("sent from a web page (Origin header)");
    for (const QByteArray& site : HeaderValues(request, "Sec-Fetch-Site")) {
        if (site.compare("none", Qt::CaseInsensitive) != 0)
            return QStringLiteral("sent from a web page (Sec-Fetch-Site: %1)")
                .arg(QString::fromLatin1(site));
    }

    // A name other than localhost in Host means the asker reached this
    // service through a name that DNS may point anywhere (rebinding).
    const QList<QByteArray> hosts = HeaderValues(request, "Host");
    if (hosts.size() != 1)
        return hosts.isEmpty() ? QStringLiteral("no Host header")
                               : QStringLiteral("more than one Host header");
    QByteArray host;
    quint16 port = 0;
    if (!SplitHost(hosts.first(), &host, &port) || port != m_port)
        return QStringLiteral("Host %1 is not this service")
            .arg(QString::fromLatin1(hosts.first()));
    if (host.compare("localhost", Qt::CaseInsensitive) == 0 ||
        m_servedNames.contains(host.toLower()))
        return {};
    const QHostAddress address(QString::fromLatin1(host));
    const bool listensEverywhere = m_address == QHostAddress::Any ||
                                   m_address == QHostAddress::AnyIPv4 ||
                                   m_address == QHostAddress::AnyIPv6;
    // Listening on every address, any address of this machine may be asked
    // for; a name never is.
    if (!address.isNull() &&
        (listensEverywhere || address.isEqual(m_address, QHostAddress::ConvertV4MappedToIPv4)))
        return {};
    return QStringLiteral("Host %1 is not this service").arg(QString::fromLatin1(hosts.first()));
}
