#include "services/resolver/stream/StreamEndpoint.h"

#include "services/resolver/server/RequestGuard.h"
#include "services/resolver/stream/StreamRegistry.h"
#include "services/resolver/stream/StreamServing.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

#include "base/ResolverProtocol.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Streams served at once; each holds a thread and a few connections.
constexpr int MaxStreams = 16;

const QByteArray TextType = "text/plain; charset=utf-8";

}  // namespace

QByteArray StreamBaseAddress(const QHostAddress& address, quint16 port)
{
    QByteArray host;
    if (address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
        address == QHostAddress::AnyIPv6)
        host = "127.0.0.1";
    else if (address.protocol() == QAbstractSocket::IPv6Protocol)
        host = "[" + address.toString().toLatin1() + "]";
    else
        host = address.toString().toLatin1();
    return "http://" + host + ":" + QByteArray::number(port);
}

void ServeStreams(QHttpServer& server, const TResolverLimits& limits, const QHostAddress& address,
                  quint16 port)
{
    // The libraries' own messages would mix with the request log; a failed
    // stream is logged with its reason instead.
    av_log_set_level(qEnvironmentVariableIsSet("QUORVEX_DEBUG_AV") ? AV_LOG_WARNING : AV_LOG_QUIET);
    TStreamRegistry::Instance().SetBaseAddress(StreamBaseAddress(address, port));
    const std::chrono::milliseconds idleLimit(limits.FetchIdleTimeoutMs);
    QHttpServer* owner = &server;
    server.route(
        QString::fromLatin1(StreamPath) + QLatin1String("<arg>"), QHttpServerRequest::Method::Get,
        [owner, idleLimit](const QString& name, const QHttpServerRequest& request,
                           QHttpServerResponder&& responder) {
            if (!TRequestGuard::Instance().RefusalReason(request).isEmpty()) {
                responder.write("Forbidden", TextType, QHttpServerResponder::StatusCode::Forbidden);
                return;
            }
            const QByteArray token = TStreamRegistry::TokenOfName(name.toLatin1());
            const auto source = TStreamRegistry::Instance().Find(token);
            if (token.isEmpty() || !source) {
                responder.write("Not Found", TextType, QHttpServerResponder::StatusCode::NotFound);
                return;
            }
            if (TStreamServing::Running() >= MaxStreams) {
                responder.write("Too many streams at once", TextType,
                                QHttpServerResponder::StatusCode::ServiceUnavailable);
                return;
            }
            auto* serving =
                new TStreamServing(token, *source, std::move(responder), idleLimit, owner);
            serving->Start();
        });
}
