#include "services/resolver/stream/StreamPipe.h"

bool TStreamPipe::Put(QByteArray piece, std::chrono::milliseconds waitLimit)
{
    std::unique_lock lock(m_mutex);
    // A piece goes in whenever the pipe holds less than its bound, so one
    // larger than the bound still passes.
    const bool roomy =
        m_room.wait_for(lock, waitLimit, [this] { return m_stopped || m_bytes < m_bound; });
    if (!roomy || m_stopped)
        return false;
    m_bytes += piece.size();
    m_pieces.push_back(std::move(piece));
    return true;
}

bool TStreamPipe::Take(QByteArray* piece)
{
    std::lock_guard lock(m_mutex);
    if (m_pieces.empty())
        return false;
    *piece = std::move(m_pieces.front());
    m_pieces.pop_front();
    m_bytes -= piece->size();
    m_room.notify_all();
    return true;
}

bool TStreamPipe::IsEmpty() const
{
    std::lock_guard lock(m_mutex);
    return m_pieces.empty();
}

void TStreamPipe::Stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_room.notify_all();
}

bool TStreamPipe::Stopped() const
{
    std::lock_guard lock(m_mutex);
    return m_stopped;
}
