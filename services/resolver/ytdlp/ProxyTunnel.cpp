#include "services/resolver/ytdlp/ProxyTunnel.h"

#include "services/resolver/server/HttpRequestGate.h"
#include "services/resolver/ytdlp/YtDlpProxy.h"

#include <QDateTime>
#include <QNetworkProxyFactory>
#include <QTcpSocket>

#include <cstdio>

namespace {

constexpr qint64 PieceBytes = 64 * 1024;

void LogRefusal(const QByteArray& target, const QString& why)
{
    const QByteArray stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    std::fprintf(stderr, "%s yt-dlp's fetch of %s not made (%s)\n", stamp.constData(),
                 target.left(300).constData(), qPrintable(why));
    std::fflush(stderr);
}

// HEAD with the proxy's and the hop's own fields taken out and
// "Connection: close" put in: one request per connection, so that no later
// request on it goes anywhere unchecked. TARGET replaces the request's target.
QByteArray SentHead(const QByteArray& head, const QByteArray& target)
{
    const QList<QByteArray> lines = THttpRequestGate::HeadLines(head);
    const QList<QByteArray> parts = lines.value(0).split(' ');
    QByteArray out = parts.value(0) + ' ' + target + ' ' + parts.value(2) + "\r\n";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray name = lines.at(i).left(lines.at(i).indexOf(':')).trimmed().toLower();
        if (name == "connection" || name == "proxy-connection" || name == "keep-alive" ||
            name == "proxy-authorization")
            continue;
        out += lines.at(i) + "\r\n";
    }
    return out + "Connection: close\r\n\r\n";
}

}  // namespace

TProxyTunnel::TProxyTunnel(QTcpSocket* client, TYtDlpProxy* proxy)
    : QObject(proxy), m_proxy(proxy), m_client(client)
{
    m_client->setParent(this);
    m_client->setReadBufferSize(TYtDlpProxy::BufferBytes);
    m_idle.setSingleShot(true);
    m_idle.start(proxy->IdleMs());
    connect(&m_idle, &QTimer::timeout, this, [this] {
        m_client->abort();
        if (m_server)
            m_server->abort();
        Finish();
    });
    connect(&m_check, &THostCheck::Decided, this, &TProxyTunnel::Checked);
    connect(m_client, &QTcpSocket::readyRead, this, [this] {
        if (m_joined)
            Pump(m_client, m_server);
        else if (m_target.isEmpty())
            ReadHead();
    });
    connect(m_client, &QTcpSocket::bytesWritten, this, [this] {
        if (m_joined)
            Pump(m_server, m_client);
    });
    connect(m_client, &QTcpSocket::disconnected, this, [this] { Ended(m_client, m_server); });
    ReadHead();
}

TProxyTunnel::~TProxyTunnel() = default;

QByteArray TProxyTunnel::OriginHead(const QByteArray& head)
{
    const QList<QByteArray> parts = THttpRequestGate::HeadLines(head).value(0).split(' ');
    const QUrl url = QUrl::fromEncoded(parts.value(1), QUrl::StrictMode);
    if (parts.size() != 3 || !url.isValid() || url.scheme() != QLatin1String("http"))
        return {};
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return SentHead(head, target);
}

void TProxyTunnel::ReadHead()
{
    m_head += m_client->readAll();
    qsizetype end = m_head.indexOf("\r\n\r\n");
    end = end < 0 ? -1 : end + 4;
    if (end < 0) {
        if (m_head.size() > TYtDlpProxy::MaxHeadBytes)
            Refuse("431 Request Header Fields Too Large", QStringLiteral("a head too long"));
        return;
    }
    m_idle.start();
    const QByteArray rest = m_head.mid(end);
    m_head.truncate(end);
    const QList<QByteArray> parts = THttpRequestGate::HeadLines(m_head).value(0).split(' ');
    m_target = parts.value(1);
    if (m_target.isEmpty())
        m_target = "-";
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.")) {
        Refuse("400 Bad Request", QStringLiteral("not an HTTP/1 request"));
        return;
    }
    QUrl url;
    m_connect = parts[0] == "CONNECT";
    if (m_connect)
        url = QUrl::fromEncoded("https://" + m_target + "/", QUrl::StrictMode);
    else if (!OriginHead(m_head).isEmpty())
        url = QUrl::fromEncoded(m_target, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || (m_connect && url.port() == -1)) {
        Refuse("400 Bad Request",
               QStringLiteral("the target is neither host:port nor an http link"));
        return;
    }
    TAddressPolicy* policy = m_proxy ? m_proxy->Policy() : nullptr;
    if (!policy) {
        Refuse("403 Forbidden", QStringLiteral("no link is being resolved"));
        return;
    }
    // Whatever came after the head waits in the buffer for the connection.
    m_head += rest;
    m_headSize = end;
    m_url = url;
    m_check.Start(url, policy);
}

void TProxyTunnel::Checked(const THostDecision& decision)
{
    if (!decision.Allowed) {
        Refuse("403 Forbidden", decision.Why);
        return;
    }
    m_server = new QTcpSocket(this);
    m_server->setReadBufferSize(TYtDlpProxy::BufferBytes);
    connect(m_server, &QTcpSocket::connected, this, &TProxyTunnel::Connected);
    connect(m_server, &QTcpSocket::readyRead, this, [this] { Pump(m_server, m_client); });
    connect(m_server, &QTcpSocket::bytesWritten, this, [this] { Pump(m_client, m_server); });
    connect(m_server, &QTcpSocket::disconnected, this, [this] { Ended(m_server, m_client); });
    connect(m_server, &QTcpSocket::errorOccurred, this, [this] {
        if (!m_joined)
            Refuse("502 Bad Gateway", m_server->errorString());
    });
    m_throughProxy = GoesThroughProxy(m_url);
    if (m_throughProxy) {
        const QNetworkProxy upstream =
            QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(m_url)).value(0);
        if (upstream.type() != QNetworkProxy::HttpProxy) {
            Refuse("502 Bad Gateway", QStringLiteral("the desktop's proxy is not an HTTP proxy"));
            return;
        }
        m_server->setProxy(QNetworkProxy::NoProxy);
        m_server->connectToHost(upstream.hostName(), upstream.port());
        return;
    }
    // The very address that was checked, never the name looked up again.
    const QHostAddress address = LiteralAddress(decision.RequestUrl.host());
    if (address.isNull()) {
        Refuse("403 Forbidden", QStringLiteral("no checked address"));
        return;
    }
    m_server->setProxy(QNetworkProxy::NoProxy);
    m_server->connectToHost(address, static_cast<quint16>(m_url.port(80)));
}

void TProxyTunnel::Connected()
{
    const QByteArray head = m_head.left(m_headSize);
    const QByteArray rest = m_head.mid(m_headSize);
    m_head.clear();
    if (m_connect && !m_throughProxy)
        m_client->write("HTTP/1.1 200 Connection established\r\n\r\n");
    else if (m_connect)
        m_server->write(head);
    else if (m_throughProxy)
        m_server->write(SentHead(head, m_target));
    else
        m_server->write(OriginHead(head));
    m_server->write(rest);
    m_joined = true;
    Pump(m_client, m_server);
}

void TProxyTunnel::Pump(QTcpSocket* from, QTcpSocket* to)
{
    if (!m_joined || !from || !to)
        return;
    bool moved = false;
    while (from->bytesAvailable() > 0 && to->bytesToWrite() < TYtDlpProxy::BufferBytes &&
           to->state() == QAbstractSocket::ConnectedState) {
        to->write(from->read(PieceBytes));
        moved = true;
    }
    if (moved)
        m_idle.start();
}

void TProxyTunnel::Ended(QTcpSocket* gone, QTcpSocket* other)
{
    if (m_joined && other && other->state() == QAbstractSocket::ConnectedState) {
        // What the side that left had still sent goes on, then the other side closes.
        while (gone->bytesAvailable() > 0)
            other->write(gone->read(PieceBytes));
        other->disconnectFromHost();
    }
    if (gone == m_client && !m_joined && m_server)
        m_server->abort();
    const bool clientGone = m_client->state() == QAbstractSocket::UnconnectedState;
    const bool serverGone = !m_server || m_server->state() == QAbstractSocket::UnconnectedState;
    if (clientGone && serverGone)
        Finish();
}

void TProxyTunnel::Refuse(const QByteArray& status, const QString& why)
{
    if (m_target.isEmpty())
        m_target = "-";  // nothing more is read
    LogRefusal(m_target, why);
    m_check.Abort();
    if (m_server)
        m_server->abort();
    m_joined = false;
    m_client->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    m_client->disconnectFromHost();
    if (m_client->state() == QAbstractSocket::UnconnectedState)
        Finish();
}

void TProxyTunnel::Finish()
{
    m_idle.stop();
    deleteLater();
}
