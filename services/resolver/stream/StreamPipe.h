#pragma once

// The bytes between the remuxing thread and the connection that serves them:
// the writer blocks while the pipe holds its bound, so memory stays flat
// however slow the reader is. Either side can stop it; then the writer's
// next wait returns at once.

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

class TStreamPipe
{
public:
    explicit TStreamPipe(qsizetype boundBytes) : m_bound(boundBytes) {}

    // Writer side. Waits while the pipe is full; false when the pipe was
    // stopped, or nobody took anything for WAITLIMIT.
    bool Put(QByteArray piece, std::chrono::milliseconds waitLimit);

    // Reader side: the oldest piece, or false when there is none now.
    bool Take(QByteArray* piece);
    bool IsEmpty() const;

    // Wakes a waiting writer and makes every later Put fail.
    void Stop();
    bool Stopped() const;

private:
    qsizetype m_bound;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    std::deque<QByteArray> m_pieces;
    qsizetype m_bytes = 0;
    bool m_stopped = false;
};
