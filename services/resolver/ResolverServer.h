#pragma once

// The HTTP face of the resolver: GET /get-url/index/link/?link=<link>
// answers the direct media link or "error", always with status 200; every
// other path is 404. Each request runs on its own, in the event loop. A
// request that does not come from a program on this desktop (see
// TRequestGuard) is refused with 403 on every path.

#include "services/resolver/net/ResolverLimits.h"

#include <QByteArray>
#include <QHostAddress>
#include <QHttpServer>
#include <QObject>

class QHttpServerRequest;

class TResolverServer : public QObject
{
    Q_OBJECT

public:
    explicit TResolverServer(const TResolverLimits& limits, QObject* parent = nullptr);

    // How long a connection may sit idle before it is closed (before Listen).
    void SetIdleTimeout(int milliseconds) { m_idleTimeoutMs = milliseconds; }

    // The port listened on, or 0 when the address cannot be taken.
    quint16 Listen(const QHostAddress& address, quint16 port);

    // The link of a request target's query: every byte after "link=", as the
    // asker sent it (nothing split at '&', nothing decoded). Empty when the
    // query does not start with "link=".
    static QByteArray LinkOfQuery(const QByteArray& encodedQuery);

private:
    void Resolve(const QHttpServerRequest& request, class QHttpServerResponder&& responder);

    TResolverLimits m_limits;
    int m_idleTimeoutMs = 10000;
    int m_runningJobs = 0;
    QHttpServer m_server;
};

// "ADDRESS:PORT" ("127.0.0.1:8790", "[::1]:0", "0.0.0.0:80"); false when the
// text is not one.
bool ParseListenAddress(const QString& text, QHostAddress* address, quint16* port);
