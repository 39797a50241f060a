#include "services/resolver/net/HostCheck.h"

#include <QHostInfo>
#include <QNetworkProxy>

namespace {

// The address a pinned request goes to: IPv4 first, which more networks
// route, else the first one.
QHostAddress Preferred(const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return addresses.first();
}

}  // namespace

THostCheck::THostCheck(QObject* parent) : QObject(parent) {}

THostCheck::~THostCheck()
{
    Abort();
}

void THostCheck::Start(const QUrl& url, TAddressPolicy* policy)
{
    Abort();
    m_url = url;
    m_policy = policy;
    const QString host = url.host();
    const QHostAddress literal = LiteralAddress(host);
    THostDecision decision;
    decision.RequestUrl = url;
    if (!literal.isNull()) {
        decision.Allowed = policy->AllowsAddress(literal, &decision.Why);
        Decide(decision);
        return;
    }
    if (GoesThroughProxy(url)) {
        decision.Allowed = policy->AllowsProxiedName(host, &decision.Why);
        Decide(decision);
        return;
    }
    const QString name = host.endsWith(QLatin1Char('.')) ? host.chopped(1) : host;
    m_lookupId = QHostInfo::lookupHost(name, this, &THostCheck::LookedUp);
}

void THostCheck::Abort()
{
    ++m_generation;
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
}

void THostCheck::LookedUp(const QHostInfo& info)
{
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    THostDecision decision;
    decision.RequestUrl = m_url;
    const QString host = m_url.host();
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        decision.Why = QStringLiteral("host %1 not found").arg(host);
        decision.NotFound = true;
        Decide(decision);
        return;
    }
    decision.Allowed = m_policy->Admit(host, info.addresses(), &decision.Why);
    QUrl pinned = m_url;
    pinned.setHost(Preferred(info.addresses()).toString());
    // (Should the proxy settings send the address through a proxy that the
    // name bypasses, the name is requested as it is.)
    if (decision.Allowed && !GoesThroughProxy(pinned)) {
        decision.RequestUrl = pinned;
        decision.Host = m_url.host(QUrl::FullyEncoded).toUtf8();
        if (m_url.port() != -1)
            decision.Host += ':' + QByteArray::number(m_url.port());
        decision.VerifyName = host;
    }
    Decide(decision);
}

void THostCheck::Decide(THostDecision decision)
{
    // Reported from the event loop like every other outcome.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, decision = std::move(decision)] {
            if (generation == m_generation)
                emit Decided(decision);
        },
        Qt::QueuedConnection);
}
