#pragma once

// The proxy every yt-dlp run fetches through (--proxy), so that its own
// fetches (the page, its iframes and player cards, API calls, redirects)
// keep to the same address rules as the service's: each connection yt-dlp
// opens, a plain HTTP request in absolute form or a CONNECT for https, is
// checked against the run's TAddressPolicy and goes to the very address
// that was checked. Through the desktop's proxy (http_proxy, ...) the
// request is passed on to it, a name judged by its form. One proxy serves
// one yt-dlp process and lives as long as it; until the run's policy is
// set, every fetch is refused.

#include "services/resolver/net/AddressPolicy.h"

#include <QObject>
#include <QString>
#include <QTcpServer>

#include <optional>

class TYtDlpProxy : public QObject
{
    Q_OBJECT

public:
    // Connections open at once; more are refused.
    static constexpr int MaxTunnels = 32;
    // The longest request head taken from yt-dlp.
    static constexpr qsizetype MaxHeadBytes = 64 * 1024;
    // Bytes held for each direction of a connection.
    static constexpr qint64 BufferBytes = 1024 * 1024;

    explicit TYtDlpProxy(QObject* parent = nullptr);

    // Listens on a free port of 127.0.0.1; false when it cannot.
    bool Listen();
    // "http://127.0.0.1:PORT", for --proxy.
    QString Url() const;

    // The rules for every later fetch; a connection silent for IDLEMS is cut.
    void SetPolicy(const TAddressPolicy& policy, int idleMs);
    TAddressPolicy* Policy() { return m_policy ? &*m_policy : nullptr; }
    int IdleMs() const { return m_idleMs; }

private:
    void Accept();

    QTcpServer m_server;
    std::optional<TAddressPolicy> m_policy;
    int m_idleMs = 30000;
    int m_tunnels = 0;
};
