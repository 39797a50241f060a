#include "tool/PacketQueue.h"

TPacketQueue::TPacketQueue(std::size_t maxPackets, std::size_t maxBytes)
    : m_maxPackets(maxPackets > 1 ? maxPackets : 2), m_maxBytes(maxBytes > 1 ? maxBytes : 2)
{}

TPacketQueue::~TPacketQueue()
{
    for (AVPacket* packet : m_packets)
        av_packet_free(&packet);
}

// The putter waits from here...
bool TPacketQueue::Full() const
{
    return !m_packets.empty() && (m_packets.size() >= m_maxPackets || m_bytes >= m_maxBytes);
}

// ... until the taker has got the queue down to this.
bool TPacketQueue::HalfEmpty() const
{
    return m_packets.size() <= m_maxPackets / 2 && m_bytes <= m_maxBytes / 2;
}

// The taker starts again from here: always so when the queue is full, so
// that the two never wait for each other.
bool TPacketQueue::Gathered() const
{
    return m_closed || m_packets.size() >= (m_maxPackets + 1) / 2 ||
           m_bytes >= (m_maxBytes + 1) / 2;
}

bool TPacketQueue::Put(AVPacket* packet)
{
    AVPacket* held = av_packet_alloc();
    if (!held)
        return false;
    av_packet_move_ref(held, packet);
    std::unique_lock lock(m_mutex);
    if (Full()) {
        m_putterWaits = true;
        m_room.wait(lock, [this] { return m_stopped || HalfEmpty(); });
        m_putterWaits = false;
    }
    if (m_stopped) {
        lock.unlock();
        av_packet_free(&held);
        return false;
    }
    m_packets.push_back(held);
    m_bytes += static_cast<std::size_t>(held->size > 0 ? held->size : 0);
    if (m_takerWaits && Gathered())
        m_ready.notify_one();
    return true;
}

bool TPacketQueue::HasRoom() const
{
    std::lock_guard lock(m_mutex);
    return !Full();
}

bool TPacketQueue::WaitForRoom(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    if (m_stopped || !Full())
        return true;
    m_putterWaits = true;
    m_room.wait_for(lock, wait, [this] { return m_stopped || HalfEmpty(); });
    m_putterWaits = false;
    return m_stopped || !Full();
}

void TPacketQueue::Close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_ready.notify_all();
}

void TPacketQueue::Stop()
{
    std::deque<AVPacket*> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        dropped.swap(m_packets);
        m_bytes = 0;
        m_ready.notify_all();
        m_room.notify_all();
    }
    for (AVPacket* packet : dropped)
        av_packet_free(&packet);
}

bool TPacketQueue::Stopped() const
{
    std::lock_guard lock(m_mutex);
    return m_stopped;
}

std::uint64_t TPacketQueue::Taken() const
{
    std::lock_guard lock(m_mutex);
    return m_taken;
}

TPacketQueue::TTake TPacketQueue::Take(AVPacket* packet)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopped)
            return TTake::Stopped;
        if (!m_packets.empty() && (m_draining || Gathered()))
            break;
        if (m_packets.empty() && m_closed)
            return TTake::End;
        m_draining = false;
        m_takerWaits = true;
        m_ready.wait(lock);
        m_takerWaits = false;
    }
    m_draining = true;
    AVPacket* held = m_packets.front();
    m_packets.pop_front();
    ++m_taken;
    m_bytes -= static_cast<std::size_t>(held->size > 0 ? held->size : 0);
    if (m_putterWaits && HalfEmpty())
        m_room.notify_one();
    lock.unlock();
    av_packet_move_ref(packet, held);
    av_packet_free(&held);
    return TTake::Packet;
}
