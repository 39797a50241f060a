#include "services/resolver/net/AddressPolicy.h"

#include <QHostInfo>
#include <QNetworkProxy>

#include <arpa/inet.h>

#include <algorithm>
#include <array>

namespace {

struct TIpv4Range
{
    quint32 Base;
    int PrefixBits;
};

// Every IPv4 range that is not public unicast.
constexpr std::array<TIpv4Range, 11> LocalIpv4Ranges = {{
    {0x00000000, 8},   // 0.0.0.0/8: "this network", the unspecified address
    {0x0A000000, 8},   // 10/8 private
    {0x64400000, 10},  // 100.64/10 carrier-grade NAT
    {0x7F000000, 8},   // 127/8 loopback
    {0xA9FE0000, 16},  // 169.254/16 link-local
    {0xAC100000, 12},  // 172.16/12 private
    {0xC0000000, 24},  // 192.0.0/24 protocol assignments
    {0xC0A80000, 16},  // 192.168/16 private
    {0xC6120000, 15},  // 198.18/15 benchmarking
    {0xE0000000, 4},   // 224/4 multicast
    {0xF0000000, 4},   // 240/4 reserved, broadcast
}};

bool IsLocalIpv4(quint32 address)
{
    for (const TIpv4Range& range : LocalIpv4Ranges) {
        const quint32 mask = ~quint32(0) << (32 - range.PrefixBits);
        if ((address & mask) == range.Base)
            return true;
    }
    return false;
}

quint32 Ipv4At(const Q_IPV6ADDR& bytes, int offset)
{
    return quint32(bytes[offset]) << 24 | quint32(bytes[offset + 1]) << 16 |
           quint32(bytes[offset + 2]) << 8 | quint32(bytes[offset + 3]);
}

bool StartsWith(const Q_IPV6ADDR& bytes, std::initializer_list<quint8> prefix)
{
    int i = 0;
    for (const quint8 byte : prefix) {
        if (bytes[i++] != byte)
            return false;
    }
    return true;
}

bool IsLocalIpv6(const Q_IPV6ADDR& a)
{
    // ::/96 holds the unspecified and loopback addresses and the old
    // IPv4-compatible form; none of it is public.
    if (StartsWith(a, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}))
        return true;
    // IPv4 carried inside IPv6: mapped (::ffff:a.b.c.d), NAT64
    // (64:ff9b::a.b.c.d), 6to4 (2002:AABB:CCDD::) and Teredo (the client
    // address stored inverted in the last four bytes).
    if (StartsWith(a, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff}) ||
        StartsWith(a, {0x00, 0x64, 0xff, 0x9b, 0, 0, 0, 0, 0, 0, 0, 0}))
        return IsLocalIpv4(Ipv4At(a, 12));
    if (StartsWith(a, {0x00, 0x64, 0xff, 0x9b, 0x00, 0x01}))  // local-use NAT64
        return true;
    if (StartsWith(a, {0x20, 0x02}))
        return IsLocalIpv4(Ipv4At(a, 2));
    if (StartsWith(a, {0x20, 0x01, 0x00, 0x00}))
        return IsLocalIpv4(~Ipv4At(a, 12));
    if (StartsWith(a, {0x01, 0x00, 0, 0, 0, 0, 0, 0}))  // 100::/64 discard-only
        return true;
    const quint8 first = a[0];
    const quint8 second = a[1];
    return (first & 0xfe) == 0xfc ||                      // fc00::/7 unique local
           (first == 0xfe && (second & 0xc0) == 0x80) ||  // fe80::/10 link-local
           (first == 0xfe && (second & 0xc0) == 0xc0) ||  // fec0::/10 site-local
           first == 0xff;                                 // ff00::/8 multicast
}

QString WithoutTrailingDot(const QString& host)
{
    return host.endsWith(QLatin1Char('.')) ? host.chopped(1) : host;
}

QString Refusal(const QString& host, const QHostAddress& address)
{
    const QString spelled = address.toString();
    return host.isEmpty() || host == spelled
               ? QStringLiteral("refused: %1 is an address of this machine or its network")
                     .arg(spelled)
               : QStringLiteral("refused: %1 is %2, an address of this machine or its network")
                     .arg(host, spelled);
}

}  // namespace

TAddressPolicy TAddressPolicy::ForTypedLink(const QUrl& link)
{
    TAddressPolicy policy;
    const QString host = link.host();
    const QHostAddress literal = LiteralAddress(host);
    if (!literal.isNull())
        policy.m_allowLocal = IsLocalNetworkAddress(literal);
    else if (IsLocalNetworkName(host))
        policy.m_allowLocal = true;
    else
        policy.m_unsettledName = WithoutTrailingDot(host).toLower();
    return policy;
}

bool TAddressPolicy::AllowsAddress(const QHostAddress& address, QString* why) const
{
    if (m_allowLocal || (!address.isNull() && !IsLocalNetworkAddress(address)))
        return true;
    if (why)
        *why =
            address.isNull() ? QStringLiteral("refused: no address") : Refusal(QString(), address);
    return false;
}

bool TAddressPolicy::AllowsUrl(const QUrl& url, QString* why) const
{
    const QString host = url.host();
    if (host.isEmpty()) {
        if (why)
            *why = QStringLiteral("refused: the link names no host");
        return false;
    }
    const QHostAddress literal = LiteralAddress(host);
    if (!literal.isNull())
        return AllowsAddress(literal, why);
    if (m_allowLocal)
        return true;
    if (GoesThroughProxy(url))
        return AllowsProxiedName(host, why);
    const QHostInfo info = QHostInfo::fromName(WithoutTrailingDot(host));
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        if (why)
            *why = QStringLiteral("host %1 not found").arg(host);
        return false;
    }
    return AllowsAddresses(host, info.addresses(), why);
}

bool TAddressPolicy::Admit(const QString& host, const QList<QHostAddress>& addresses, QString* why)
{
    const bool allowed = AllowsAddresses(host, addresses, why);
    if (!m_unsettledName.isEmpty() && WithoutTrailingDot(host).toLower() == m_unsettledName) {
        // The typed link's own name answered for the first time: a name of
        // the local network makes the whole job a local one.
        m_unsettledName.clear();
        if (allowed && !addresses.isEmpty() &&
            std::all_of(addresses.begin(), addresses.end(), IsLocalNetworkAddress))
            m_allowLocal = true;
    }
    return allowed;
}

bool TAddressPolicy::AllowsProxiedName(const QString& host, QString* why) const
{
    if (m_allowLocal || !IsLocalNetworkName(host))
        return true;
    if (why)
        *why = QStringLiteral("refused: %1 is a name of this machine or its network").arg(host);
    return false;
}

bool TAddressPolicy::AllowsAddresses(const QString& host, const QList<QHostAddress>& addresses,
                                     QString* why) const
{
    if (addresses.isEmpty()) {
        if (why)
            *why = QStringLiteral("host %1 not found").arg(host);
        return false;
    }
    if (m_allowLocal)
        return true;
    const bool typedName =
        !m_unsettledName.isEmpty() && WithoutTrailingDot(host).toLower() == m_unsettledName;
    if (typedName && std::all_of(addresses.begin(), addresses.end(), IsLocalNetworkAddress))
        return true;  // the typed link's own name is a server of the local network
    for (const QHostAddress& address : addresses) {
        if (IsLocalNetworkAddress(address)) {
            if (why)
                *why = Refusal(host, address);
            return false;
        }
    }
    return true;
}

bool IsLocalNetworkAddress(const QHostAddress& address)
{
    if (address.isNull())
        return false;
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return IsLocalIpv4(address.toIPv4Address());
    return IsLocalIpv6(address.toIPv6Address());
}

bool IsLocalNetworkName(const QString& host)
{
    const QString name = WithoutTrailingDot(host).toLower();
    if (name.isEmpty() || !name.contains(QLatin1Char('.')))
        return true;
    static const QStringList localSuffixes = {
        QStringLiteral(".localhost"), QStringLiteral(".local"),    QStringLiteral(".localdomain"),
        QStringLiteral(".lan"),       QStringLiteral(".internal"), QStringLiteral(".home.arpa")};
    for (const QString& suffix : localSuffixes) {
        if (name.endsWith(suffix))
            return true;
    }
    return false;
}

bool GoesThroughProxy(const QUrl& url)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return !proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy;
}

QHostAddress LiteralAddress(const QString& host)
{
    QString text = WithoutTrailingDot(host);
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2);
    if (text.contains(QLatin1Char(':'))) {
        const QHostAddress address(text);
        return address.protocol() == QAbstractSocket::IPv6Protocol ? address : QHostAddress();
    }
    // inet_aton reads every IPv4 form the system resolver does: decimal,
    // octal and hex parts, and one to four of them.
    in_addr parsed{};
    if (text.isEmpty() || inet_aton(text.toLatin1().constData(), &parsed) == 0)
        return {};
    return QHostAddress(ntohl(parsed.s_addr));
}
