#pragma once

// One request of a stream link: the remux on a thread of its own, its bytes
// passed through a bounded pipe to the connection as HTTP chunks. The
// connection is written only as fast as the asker reads, and the remux waits
// for it, so memory stays flat; when the asker goes away the remux stops.

#include "services/resolver/remux/StreamRemux.h"
#include "services/resolver/remux/StreamWatch.h"
#include "services/resolver/stream/StreamPipe.h"
#include "services/resolver/stream/StreamRegistry.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class QHttpServerResponder;
class QTcpSocket;

class TStreamServing : public QObject, private TStreamSink
{
    Q_OBJECT

public:
    TStreamServing(const QByteArray& token, const TStreamSource& source,
                   QHttpServerResponder&& responder, std::chrono::milliseconds idleLimit,
                   QObject* parent);
    ~TStreamServing() override;

    void Start();

    // Servings alive in this process.
    static int Running() { return s_running; }

private:
    void Begin(const char* contentType) override;
    bool Write(const uint8_t* data, int size) override;

    void Pump();
    void Conclude();
    void AskerGone();

    QByteArray m_token;
    TStreamSource m_source;
    std::unique_ptr<QHttpServerResponder> m_responder;
    QPointer<QTcpSocket> m_socket;
    TStreamWatch m_watch;
    TStreamPipe m_pipe;
    std::thread m_worker;
    std::atomic<bool> m_remuxDone = false;
    std::string m_failure;  // written by the worker before m_remuxDone
    std::mutex m_typeMutex;
    QByteArray m_contentType;
    bool m_headSent = false;
    bool m_concluded = false;
    qint64 m_sentBytes = 0;
    QElapsedTimer m_timer;
    static inline int s_running = 0;
};
