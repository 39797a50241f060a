#include "services/resolver/ResolverServer.h"

#include "services/resolver/ResolveJob.h"
#include "services/resolver/server/ConnectionListener.h"
#include "services/resolver/server/Descriptors.h"
#include "services/resolver/server/HttpRequestGate.h"
#include "services/resolver/server/RequestGuard.h"
#include "services/resolver/stream/StreamEndpoint.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/ResolverProtocol.h"

namespace {

const QByteArray TextType = "text/plain; charset=utf-8";

// Descriptors one resolving job may take at its busiest: fetch sockets,
// its network thread's wake-up pipe, the page parser's pipes.
constexpr int DescriptorsPerJob = 24;

void LogLine(const QByteArray& line)
{
    const QByteArray stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    std::fprintf(stderr, "%s %s\n", stamp.constData(), line.constData());
    std::fflush(stderr);
}

// Longer links are logged cut, with their length.
constexpr qsizetype MaxLoggedBytes = 2048;

// Requests and answers are URLs, but the log must stay one line, and a short
// one, whatever a client sends.
QByteArray Printable(const QByteArray& text)
{
    QByteArray out;
    out.reserve(std::min(text.size(), MaxLoggedBytes) + 32);
    for (const char c : text.left(MaxLoggedBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            out += "%" + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    if (text.size() > MaxLoggedBytes)
        out += "...(" + QByteArray::number(text.size()) + " bytes)";
    return out;
}

// "error", with why beside it.
void WriteError(QHttpServerResponder& responder, TResolverReason reason, const QString& words)
{
    responder.write(TResolveJob::ErrorAnswer(),
                    {{"Content-Type", TextType},
                     {ResolverReasonHeader, TFetchFailure{reason, words}.HeaderValue()}});
}

// Answers 403 and logs why when REQUEST may not be served.
bool Refused(const QHttpServerRequest& request, QHttpServerResponder& responder)
{
    const QString why = TRequestGuard::Instance().RefusalReason(request);
    if (why.isEmpty())
        return false;
    LogLine("403 " + Printable(request.url().toEncoded()) + " (" + Printable(why.toUtf8()) + ")");
    // The program reads only the body: "error" keeps a refusal a failure.
    responder.write(TResolveJob::ErrorAnswer(), TextType,
                    QHttpServerResponder::StatusCode::Forbidden);
    return true;
}

}  // namespace

TResolverServer::TResolverServer(const TResolverLimits& limits, QObject* parent)
    : QObject(parent), m_limits(limits)
{
    THttpRequestGate::SetLog(&LogLine);
    // A user behind a proxy reaches the web the way the rest of the desktop does.
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    m_server.route(QString::fromLatin1(ResolvePath), QHttpServerRequest::Method::Get,
                   [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                       if (!Refused(request, responder))
                           Resolve(request, std::move(responder));
                   });
    m_server.setMissingHandler(
        [](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            if (Refused(request, responder))
                return;
            LogLine("404 " + Printable(request.url().toEncoded()));
            responder.write("Not Found", TextType, QHttpServerResponder::StatusCode::NotFound);
        });
}

quint16 TResolverServer::Listen(const QHostAddress& address, quint16 port)
{
    auto* listener = new TConnectionListener(m_idleTimeoutMs, this);
    if (!listener->Start(address, port)) {
        delete listener;
        return 0;
    }
    m_server.bind(listener);
    const quint16 bound = listener->serverPort();
    TRequestGuard::Instance().SetListenAddress(address, bound);
    ServeStreams(m_server, m_limits, address, bound);
    return bound;
}

QByteArray TResolverServer::LinkOfQuery(const QByteArray& encodedQuery)
{
    static const QByteArray key = ResolveLinkKey;
    if (encodedQuery.startsWith(key))
        return encodedQuery.mid(key.size());
    const qsizetype at = encodedQuery.indexOf("&" + key);
    return at < 0 ? QByteArray() : encodedQuery.mid(at + 1 + key.size());
}

void TResolverServer::Resolve(const QHttpServerRequest& request, QHttpServerResponder&& responder)
{
    const QByteArray link = LinkOfQuery(request.url().query(QUrl::FullyEncoded).toUtf8());
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    if (m_runningJobs >= m_limits.MaxRunningJobs) {
        // Every job may start a page parser of its own: a flood of requests
        // must not become a flood of processes.
        WriteError(responder, TResolverReason::Busy,
                   QStringLiteral("the link resolver has too many requests at once"));
        LogLine("link=" + Printable(link) + " answer=error 0 ms (more than " +
                QByteArray::number(m_limits.MaxRunningJobs) + " requests at once)");
        return;
    }
    if (FreeDescriptors() < (m_runningJobs + 1) * DescriptorsPerJob) {
        // A job needs sockets, a worker thread and a child's pipes; without
        // them the libraries underneath would end the whole service. Jobs
        // under way may not have taken theirs yet: room is kept for each.
        WriteError(responder, TResolverReason::Busy,
                   QStringLiteral("the link resolver has too many connections open"));
        LogLine("link=" + Printable(link) + " answer=error 0 ms (too few free file descriptors)");
        return;
    }
    ++m_runningJobs;

    // The responder outlives this call: the answer is written when the job is
    // done, as long as the asker is still connected.
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = pending->socket();
    // Not idle while its answer is being worked on.
    TConnectionListener::SetAnswerPending(socket, true);

    auto* job = new TResolveJob(m_limits, this);
    connect(job, &QObject::destroyed, this, [this] { --m_runningJobs; });
    connect(job, &TResolveJob::Answered, this,
            [job, pending, socket, link, timer](const QByteArray& answer) {
                if (socket) {
                    QObject::disconnect(socket, nullptr, job, nullptr);
                    TConnectionListener::SetAnswerPending(socket, false);
                }
                const bool connected = socket && socket->state() == QAbstractSocket::ConnectedState;
                if (connected && answer == TResolveJob::ErrorAnswer())
                    WriteError(*pending, job->Reason().Reason, job->Reason().Words);
                else if (connected)
                    pending->write(answer, TextType);
                LogLine("link=" + Printable(link) + " answer=" + Printable(answer) + " " +
                        QByteArray::number(timer->elapsed()) + " ms (" + job->Note().toUtf8() +
                        (connected ? "" : ", asker gone") + ")");
                job->deleteLater();
            });
    if (socket) {
        // Nobody left to answer: stop fetching for them.
        connect(socket, &QTcpSocket::disconnected, job, [job, link, timer] {
            job->Cancel();
            LogLine("link=" + Printable(link) + " cancelled after " +
                    QByteArray::number(timer->elapsed()) + " ms (asker gone)");
            job->deleteLater();
        });
    }
    job->Start(link);
}

bool ParseListenAddress(const QString& text, QHostAddress* address, quint16* port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false;  // a bare IPv6 address needs its brackets
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535)
        return false;
    QHostAddress parsed;
    if (host == QLatin1String("localhost"))
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host))
        return false;
    *address = parsed;
    *port = static_cast<quint16>(number);
    return true;
}
