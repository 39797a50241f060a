#pragma once

// Where the service may send a request. A link typed for a public address
// must never lead the service to this machine or its network (loopback,
// private, link-local or unspecified addresses, in any spelling, also a name
// that resolves there), at any step: the link, each redirect, each
// candidate, each format link of the extractor. A typed link that itself
// names such an address (a home media server) may be followed there.

#include <QHostAddress>
#include <QString>
#include <QUrl>

class TAddressPolicy
{
public:
    // The policy for everything that follows from the typed LINK.
    static TAddressPolicy ForTypedLink(const QUrl& link);

    // Whether a request may go to ADDRESS; WHY (when given) says why not.
    bool AllowsAddress(const QHostAddress& address, QString* why = nullptr) const;
    // Whether a request may go to URL's host, resolving a name when it is
    // one (blocking; names of this machine's resolver answer at once).
    bool AllowsUrl(const QUrl& url, QString* why = nullptr) const;

    bool AllowsLocal() const { return m_allowLocal; }

private:
    bool m_allowLocal = false;
};

// Loopback, private, link-local, unique-local or unspecified (also when
// written as an IPv4-mapped IPv6 address).
bool IsLocalNetworkAddress(const QHostAddress& address);
