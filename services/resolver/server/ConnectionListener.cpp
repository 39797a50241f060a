#include "services/resolver/server/ConnectionListener.h"

#include "services/resolver/server/Descriptors.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

const char* const AnswerPendingProperty = "quorvexAnswersPending";

// Connections taken in one go before the event loop gets its turn again.
constexpr int AcceptBurst = 64;
// How soon accepting is tried again after running out of descriptors that
// no closing connection gave back (a finished fetch or parser may have).
constexpr int RetryAfterMs = 250;

int MaxConnectionsForDescriptorLimit()
{
    // The other half is for the fetches, the parser's pipes and the rest.
    return std::max(OpenFileLimit() / 2, 8);
}

bool IsAnswerPending(const QTcpSocket* socket)
{
    return socket->property(AnswerPendingProperty).toInt() > 0;
}

}  // namespace

TConnectionListener::TConnectionListener(int idleTimeoutMs, QObject* parent)
    : QTcpServer(parent),
      m_idleTimeoutMs(idleTimeoutMs),
      m_maxConnections(MaxConnectionsForDescriptorLimit())
{
    m_clock.start();
    m_idleSweep.setInterval(std::clamp(idleTimeoutMs / 4, 50, 1000));
    connect(&m_idleSweep, &QTimer::timeout, this, &TConnectionListener::CloseIdle);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &TConnectionListener::Resume);
}

bool TConnectionListener::Start(const QHostAddress& address, quint16 port)
{
    if (!listen(address, port))
        return false;
    // QTcpServer's own watch stays off; this one takes the connections.
    pauseAccepting();
    m_notifier = new QSocketNotifier(socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TConnectionListener::AcceptReady);
    return true;
}

void TConnectionListener::SetAnswerPending(QTcpSocket* socket, bool pending)
{
    if (!socket)
        return;
    const int count = socket->property(AnswerPendingProperty).toInt() + (pending ? 1 : -1);
    socket->setProperty(AnswerPendingProperty, std::max(count, 0));
}

QTcpSocket* TConnectionListener::nextPendingConnection()
{
    // The base class switches its own watch back on; keep it off, and keep
    // the two watches of one descriptor from ever being on together.
    const bool watching = m_notifier && m_notifier->isEnabled();
    if (m_notifier)
        m_notifier->setEnabled(false);
    QTcpSocket* socket = QTcpServer::nextPendingConnection();
    pauseAccepting();
    if (m_notifier)
        m_notifier->setEnabled(watching);
    return socket;
}

void TConnectionListener::AcceptReady()
{
    for (int i = 0; i < AcceptBurst && !m_paused; ++i) {
        if (!Accept())
            return;
    }
}

bool TConnectionListener::Accept()
{
    const int descriptor =
        ::accept4(static_cast<int>(socketDescriptor()), nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor < 0) {
        switch (errno) {
            case EMFILE:
            case ENFILE:
            case ENOBUFS:
            case ENOMEM:
                // Out of descriptors: make room, or wait for it.
                if (CloseLongestIdle(nullptr))
                    return true;
                PauseUntilRoom(true);
                return false;
            case EINTR:
            case ECONNABORTED:
            case EPROTO:
                return true;  // that one is gone; the next may be there
            default:
                return false;  // EAGAIN: nothing left to accept
        }
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(descriptor);
        return true;
    }
    Track(socket);
    addPendingConnection(socket);
    if (m_connections.size() > m_maxConnections && !CloseLongestIdle(socket)) {
        // Every other one is waiting for its answer: wait for one to close.
        PauseUntilRoom(false);
        return false;
    }
    return true;
}

void TConnectionListener::Track(QTcpSocket* socket)
{
    m_connections.insert(socket, {socket, Now()});
    const auto touch = [this, socket] {
        const auto found = m_connections.find(socket);
        if (found != m_connections.end())
            found->LastActivityMs = Now();
    };
    connect(socket, &QTcpSocket::readyRead, this, touch);
    connect(socket, &QTcpSocket::bytesWritten, this, touch);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Forget(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { Forget(socket); });
    if (!m_idleSweep.isActive())
        m_idleSweep.start();
}

void TConnectionListener::Forget(QTcpSocket* socket)
{
    if (m_connections.remove(socket) == 0)
        return;
    if (m_connections.isEmpty())
        m_idleSweep.stop();
    // A descriptor came back.
    if (m_paused)
        Resume();
}

bool TConnectionListener::CloseLongestIdle(const QTcpSocket* spare)
{
    QTcpSocket* oldest = nullptr;
    qint64 oldestActivity = 0;
    for (const TConnection& connection : std::as_const(m_connections)) {
        if (!connection.Socket || connection.Socket == spare || IsAnswerPending(connection.Socket))
            continue;
        if (!oldest || connection.LastActivityMs < oldestActivity) {
            oldest = connection.Socket;
            oldestActivity = connection.LastActivityMs;
        }
    }
    if (!oldest)
        return false;
    oldest->abort();
    Forget(oldest);
    return true;
}

void TConnectionListener::CloseIdle()
{
    const qint64 now = Now();
    QList<QPointer<QTcpSocket>> idle;
    for (const TConnection& connection : std::as_const(m_connections)) {
        if (connection.Socket && !IsAnswerPending(connection.Socket) &&
            now - connection.LastActivityMs >= m_idleTimeoutMs)
            idle.append(connection.Socket);
    }
    for (const QPointer<QTcpSocket>& socket : idle) {
        // An asker that stopped reading would keep its connection open
        // until its unsent answer drained: that one is cut.
        if (socket && socket->bytesToWrite() > 0)
            socket->abort();
        else if (socket)
            socket->disconnectFromHost();
    }
}

void TConnectionListener::PauseUntilRoom(bool retryLater)
{
    m_paused = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    // A closing connection resumes at once; descriptors that come back
    // some other way are noticed by trying again a little later.
    if (retryLater)
        m_retry.start(RetryAfterMs);
}

void TConnectionListener::Resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    m_retry.stop();
    if (m_notifier)
        m_notifier->setEnabled(true);
}
