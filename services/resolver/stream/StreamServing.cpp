#include "services/resolver/stream/StreamServing.h"

#include <QDateTime>
#include <QHttpServerResponder>
#include <QTcpSocket>

#include "services/resolver/server/ConnectionListener.h"

#include <cstdio>

namespace {

// Bytes the pipe and the connection each hold at most.
constexpr qsizetype PipeBytes = 1024 * 1024;
constexpr qint64 SocketBytes = 1024 * 1024;

// One line in the service's request log. Only the start of the token is
// shown: the whole token is what grants the stream.
void LogStream(const QByteArray& token, const std::string& what)
{
    const QByteArray stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    std::fprintf(stderr, "%s stream=%s... %s\n", stamp.constData(), token.left(8).constData(),
                 what.c_str());
    std::fflush(stderr);
}

}  // namespace

TStreamServing::TStreamServing(const QByteArray& token, const TStreamSource& source,
                               QHttpServerResponder&& responder,
                               std::chrono::milliseconds idleLimit, QObject* parent)
    : QObject(parent),
      m_token(token),
      m_source(source),
      m_responder(std::make_unique<QHttpServerResponder>(std::move(responder))),
      m_socket(m_responder->socket()),
      m_watch(idleLimit),
      m_pipe(PipeBytes)
{
    ++s_running;
}

TStreamServing::~TStreamServing()
{
    m_watch.Stop();
    m_pipe.Stop();
    if (m_worker.joinable())
        m_worker.join();
    --s_running;
}

void TStreamServing::Start()
{
    m_timer.start();
    if (!m_socket) {
        deleteLater();
        return;
    }
    // A stream may be silent while its source is probed: not an idle connection.
    TConnectionListener::SetAnswerPending(m_socket, true);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &TStreamServing::Pump);
    connect(m_socket, &QTcpSocket::disconnected, this, &TStreamServing::AskerGone);
    connect(m_socket, &QObject::destroyed, this, &TStreamServing::AskerGone);
    m_worker = std::thread([this] {
        m_failure = RemuxStream(m_source, *this, m_watch);
        m_remuxDone = true;
        QMetaObject::invokeMethod(this, &TStreamServing::Pump, Qt::QueuedConnection);
    });
}

void TStreamServing::Begin(const char* contentType)
{
    {
        std::lock_guard lock(m_typeMutex);
        m_contentType = contentType;
    }
    QMetaObject::invokeMethod(this, &TStreamServing::Pump, Qt::QueuedConnection);
}

bool TStreamServing::Write(const uint8_t* data, int size)
{
    if (!m_pipe.Put(QByteArray(reinterpret_cast<const char*>(data), size), m_watch.IdleLimit())) {
        if (!m_pipe.Stopped())
            m_watch.Fail("the asker took nothing for " +
                         std::to_string(m_watch.IdleLimit().count()) + " ms");
        return false;
    }
    m_watch.Touch();
    QMetaObject::invokeMethod(this, &TStreamServing::Pump, Qt::QueuedConnection);
    return true;
}

void TStreamServing::Pump()
{
    if (m_concluded)
        return;
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        AskerGone();
        return;
    }
    if (!m_headSent) {
        std::lock_guard lock(m_typeMutex);
        if (!m_contentType.isEmpty()) {
            m_socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + m_contentType +
                            "\r\nTransfer-Encoding: chunked\r\nCache-Control: no-store\r\n\r\n");
            m_headSent = true;
        }
    }
    QByteArray piece;
    while (m_headSent && m_socket->bytesToWrite() < SocketBytes && m_pipe.Take(&piece)) {
        m_socket->write(QByteArray::number(piece.size(), 16) + "\r\n");
        m_socket->write(piece);
        m_socket->write("\r\n");
        m_sentBytes += piece.size();
    }
    if (m_remuxDone && m_pipe.IsEmpty())
        Conclude();
}

void TStreamServing::Conclude()
{
    m_concluded = true;
    m_worker.join();
    const std::string took = std::to_string(m_timer.elapsed()) + " ms";
    if (m_failure.empty()) {
        // The last chunk says the file is whole; the link has done its work.
        m_socket->write("0\r\n\r\n");
        TStreamRegistry::Instance().Retire(m_token);
        LogStream(m_token, "served " + std::to_string(m_sentBytes) + " bytes in " + took);
    } else if (!m_headSent) {
        m_responder->write(QByteArray("Bad Gateway: ") + m_failure.c_str(),
                           "text/plain; charset=utf-8",
                           QHttpServerResponder::StatusCode::BadGateway);
        LogStream(m_token, "failed before the first byte (" + m_failure + ") " + took);
    } else {
        // Without the last chunk the asker sees a transfer that broke off.
        m_socket->disconnectFromHost();
        LogStream(m_token, "broke off after " + std::to_string(m_sentBytes) + " bytes (" +
                               m_failure + ") " + took);
    }
    deleteLater();
}

void TStreamServing::AskerGone()
{
    if (m_concluded)
        return;
    m_watch.Stop();
    m_pipe.Stop();
    if (!m_remuxDone)
        return;  // the worker's last call comes back here
    m_concluded = true;
    m_worker.join();
    LogStream(m_token, "asker gone after " + std::to_string(m_sentBytes) + " bytes, " +
                           std::to_string(m_timer.elapsed()) + " ms");
    deleteLater();
}
