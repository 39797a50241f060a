#include "AddressPolicy.h"

TAddressPolicy TAddressPolicy::ForTypedLink(const QUrl& link)
{
    (void)link;
    TAddressPolicy policy;
    policy.m_allowLocal = true;
    return policy;
}

bool TAddressPolicy::AllowsAddress(const QHostAddress& address, QString* why) const
{
    (void)address;
    (void)why;
    return true;
}

bool TAddressPolicy::AllowsUrl(const QUrl& url, QString* why) const
{
    (void)url;
    (void)why;
    return true;
}

bool IsLocalNetworkAddress(const QHostAddress& address)
{
    return address.isLoopback();
}
