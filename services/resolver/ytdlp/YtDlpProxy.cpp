#include "services/resolver/ytdlp/YtDlpProxy.h"

#include "services/resolver/ytdlp/ProxyTunnel.h"

#include <QTcpSocket>

TYtDlpProxy::TYtDlpProxy(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TYtDlpProxy::Accept);
}

bool TYtDlpProxy::Listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString TYtDlpProxy::Url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

void TYtDlpProxy::SetPolicy(const TAddressPolicy& policy, int idleMs)
{
    m_policy = policy;
    m_idleMs = idleMs;
}

void TYtDlpProxy::Accept()
{
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        if (m_tunnels >= MaxTunnels) {
            client->abort();
            client->deleteLater();
            continue;
        }
        ++m_tunnels;
        auto* tunnel = new TProxyTunnel(client, this);
        connect(tunnel, &QObject::destroyed, this, [this] { --m_tunnels; });
    }
}
