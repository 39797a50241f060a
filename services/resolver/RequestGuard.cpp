#include "RequestGuard.h"

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
    (void)request;
    return {};
}
