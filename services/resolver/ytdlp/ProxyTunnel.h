#pragma once

// One connection yt-dlp opened to its TYtDlpProxy: the request head is read
// (at most TYtDlpProxy::MaxHeadBytes), its target checked by THostCheck, and
// the connection then joined to the checked address (or to the desktop's
// proxy) in both directions, at most TYtDlpProxy::BufferBytes held each way.
// A refused target gets 403, a malformed head 400; a connection silent for
// the proxy's idle time is cut.

#include "services/resolver/net/HostCheck.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QTcpSocket;
class TYtDlpProxy;

class TProxyTunnel : public QObject
{
    Q_OBJECT

public:
    // Takes CLIENT (accepted by PROXY); deletes itself when done.
    TProxyTunnel(QTcpSocket* client, TYtDlpProxy* proxy);
    ~TProxyTunnel() override;

    // The request head as it is sent on to an origin server directly: the
    // target in origin form, no proxy or hop-by-hop fields, one request per
    // connection. Empty when HEAD is not an absolute-form request.
    static QByteArray OriginHead(const QByteArray& head);

private:
    void ReadHead();
    void Checked(const THostDecision& decision);
    void Connected();
    void Pump(QTcpSocket* from, QTcpSocket* to);
    void Ended(QTcpSocket* gone, QTcpSocket* other);
    void Refuse(const QByteArray& status, const QString& why);
    void Finish();

    QPointer<TYtDlpProxy> m_proxy;
    QTcpSocket* m_client;
    QTcpSocket* m_server = nullptr;
    THostCheck m_check;
    QTimer m_idle;
    QByteArray m_head;  // the request head, then what followed it
    qsizetype m_headSize = 0;
    QByteArray m_target;
    QUrl m_url;
    bool m_connect = false;       // a CONNECT tunnel
    bool m_throughProxy = false;  // passed on to the desktop's proxy
    bool m_joined = false;
};
