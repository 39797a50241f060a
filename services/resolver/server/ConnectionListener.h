#pragma once

// The listening socket of the service, watched by hand instead of by
// QTcpServer's own loop, which retries a failing accept() at full speed when
// the process is out of file descriptors and then answers nobody. Here:
// - a connection that has been idle (nothing read or written) for the idle
//   time-out is closed, unless an answer is still being worked on for it;
// - at most half the descriptors the process may open are client
//   connections: beyond that, and whenever accept() finds no descriptor
//   left, the connection idle the longest is closed to make room, and when
//   every one is waiting for its answer, accepting pauses until one closes.

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QSocketNotifier;
class QTcpSocket;

class TConnectionListener : public QTcpServer
{
    Q_OBJECT

public:
    explicit TConnectionListener(int idleTimeoutMs, QObject* parent = nullptr);

    // Listens on ADDRESS:PORT; false when the address cannot be taken.
    bool Start(const QHostAddress& address, quint16 port);

    // Marks SOCKET as waiting for an answer (or no longer): it is neither
    // closed for idleness nor to make room meanwhile.
    static void SetAnswerPending(QTcpSocket* socket, bool pending);

    QTcpSocket* nextPendingConnection() override;

private:
    struct TConnection
    {
        QPointer<QTcpSocket> Socket;
        qint64 LastActivityMs = 0;
    };

    void AcceptReady();
    bool Accept();
    void Track(QTcpSocket* socket);
    void Forget(QTcpSocket* socket);
    // Closes the connection idle the longest but SPARE; false when every
    // one is waiting for its answer.
    bool CloseLongestIdle(const QTcpSocket* spare);
    void CloseIdle();
    // Stops accepting until a connection closes, or (RETRYLATER, when
    // descriptors ran out) a moment has passed.
    void PauseUntilRoom(bool retryLater);
    void Resume();
    qint64 Now() const { return m_clock.elapsed(); }

    int m_idleTimeoutMs;
    int m_maxConnections;
    QSocketNotifier* m_notifier = nullptr;
    QHash<QTcpSocket*, TConnection> m_connections;
    QElapsedTimer m_clock;
    QTimer m_idleSweep;
    QTimer m_retry;
    bool m_paused = false;
};
