#pragma once

// Which requests the service serves at all. A web page open in the user's
// browser must not be able to use the service (as a proxy into this machine
// or its network, or by DNS rebinding): a request whose Host is not the
// address the service listens on, or that comes from a page, is refused.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

class QHttpServerRequest;

class TRequestGuard
{
public:
    // The one guard of this service; the server sets its address once it listens.
    static TRequestGuard& Instance();

    void SetListenAddress(const QHostAddress& address, quint16 port);
    // A name the service may also be asked by (a service that several
    // machines share, asked by its machine's name).
    void AddServedName(const QString& name) { m_servedNames.append(name.toLower().toUtf8()); }

    // Why REQUEST must be refused with 403, or an empty text when it may be served.
    QString RefusalReason(const QHttpServerRequest& request) const;

private:
    QHostAddress m_address;
    quint16 m_port = 0;
    QList<QByteArray> m_servedNames;
};
