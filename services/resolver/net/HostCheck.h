#pragma once

// The check before each request the service sends: the host's addresses
// are looked up and held against the address policy, and a direct request
// then goes to the very address that was checked (the name travels in the
// Host header and in TLS), so that a name cannot point elsewhere between
// the check and the connection. Through a proxy the proxy resolves and
// connects: there a literal address is checked, and a name by its form.

#include "services/resolver/net/AddressPolicy.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QHostInfo;

struct THostDecision
{
    bool Allowed = false;
    QString Why;            // why not, for the log
    bool NotFound = false;  // the name could not be looked up
    QUrl RequestUrl;        // what to request: the link, or the link with the checked address
    QByteArray Host;        // the Host header to send with a pinned address, else empty
    QString VerifyName;     // the name TLS must verify with a pinned address, else empty
};

class THostCheck : public QObject
{
    Q_OBJECT

public:
    explicit THostCheck(QObject* parent = nullptr);
    ~THostCheck() override;

    // Checks URL against POLICY (which must outlive the check); Decided
    // follows from the event loop, never from inside Start.
    void Start(const QUrl& url, TAddressPolicy* policy);
    // Stops a lookup under way; Decided is not emitted afterwards.
    void Abort();

signals:
    void Decided(const THostDecision& decision);

private:
    void LookedUp(const QHostInfo& info);
    void Decide(THostDecision decision);

    QUrl m_url;
    TAddressPolicy* m_policy = nullptr;
    int m_lookupId = -1;
    quint64 m_generation = 0;
};
