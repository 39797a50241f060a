#pragma once

// Where the service may send a request. A link typed for a public address
// must never lead the service to this machine or its network (loopback,
// private, link-local or unspecified addresses, in any spelling, also a name
// that resolves there), at any step: the link, each redirect, each
// candidate, each format link of the extractor. A typed link that itself
// names such an address (a home media server) may be followed there.

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrl>

class TAddressPolicy
{
public:
    // The policy for everything that follows from the typed LINK: local
    // addresses are allowed when the link names one itself (an address of
    // the local network, "localhost", a ".local" or one-label name). A link
    // naming a host that DNS must answer for is settled by Admit on its
    // first lookup.
    static TAddressPolicy ForTypedLink(const QUrl& link);

    // Whether a request may go to ADDRESS; WHY (when given) says why not.
    bool AllowsAddress(const QHostAddress& address, QString* why = nullptr) const;
    // Whether a request may go to URL's host, resolving a name when it is
    // one and no proxy is used for URL (blocking; names of this machine's
    // resolver answer at once).
    bool AllowsUrl(const QUrl& url, QString* why = nullptr) const;

    // Whether a request may go to HOST, which resolved to ADDRESSES (every
    // one of them must be allowed, so that the connection cannot pick a
    // forbidden one). The first lookup of the typed link's own name settles
    // whether it is a server of the local network.
    bool Admit(const QString& host, const QList<QHostAddress>& addresses, QString* why = nullptr);
    // Whether a request may go through a proxy to HOST, a name: the proxy
    // resolves it (a lookup here would tell the local DNS what the proxy is
    // there to keep from it), so only its form is checked.
    bool AllowsProxiedName(const QString& host, QString* why = nullptr) const;

    bool AllowsLocal() const { return m_allowLocal; }

private:
    bool AllowsAddresses(const QString& host, const QList<QHostAddress>& addresses,
                         QString* why) const;

    bool m_allowLocal = false;
    // The typed link's host name while its first lookup is still to come.
    QString m_unsettledName;
};

// Loopback, private, link-local, unique-local or unspecified (also when
// written as an IPv4-mapped IPv6 address): every address that is not a
// public unicast one, multicast, broadcast and reserved ranges included.
bool IsLocalNetworkAddress(const QHostAddress& address);

// A host name that stands for this machine or its network by its form
// alone: "localhost" and its subdomains, a name without a dot, names under
// ".local", ".localdomain", ".lan", ".internal" and ".home.arpa".
bool IsLocalNetworkName(const QString& host);

// Whether a request for URL goes through a proxy (http_proxy, ...).
bool GoesThroughProxy(const QUrl& url);

// The address HOST spells, in any of the forms a resolver accepts
// ("2130706433", "0x7f.1", "0177.0.0.1", "::ffff:127.0.0.1", with or
// without brackets); a null address when HOST is a name.
QHostAddress LiteralAddress(const QString& host);
