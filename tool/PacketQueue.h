// The packets of one stream on their way from the reader to the stream's
// thread. The queue holds at most a few dozen packets and a few MB, so that
// memory stays flat however long the input is, and the reader, which waits
// while a queue is full, never gets far ahead of the slowest stream. Each
// side is woken only once the other has made room for, or gathered, half a
// queue, not at every packet.
#pragma once

extern "C" {
#include <libavcodec/packet.h>
}

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

// About 2 s of 25-frame pictures, 1 s of a WAV's sound.
inline constexpr std::size_t kQueuePackets = 48;
inline constexpr std::size_t kQueueBytes = 8 << 20;

class TPacketQueue
{
public:
    enum class TTake
    {
        Packet,
        End,
        Stopped
    };

    explicit TPacketQueue(std::size_t maxPackets = kQueuePackets,
                          std::size_t maxBytes = kQueueBytes);
    ~TPacketQueue();
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;

    // Moves packet's contents into the queue (packet is left blank), first
    // waiting while the queue is full. False when the queue was stopped, or
    // when there was no memory for the packet (then Stopped() is false).
    // A packet larger than the whole bound still goes into an empty queue.
    bool Put(AVPacket* packet);
    // Whether Put would go in without waiting.
    bool HasRoom() const;
    // Waits at most wait for room; true when there is room or the queue was
    // stopped.
    bool WaitForRoom(std::chrono::milliseconds wait);
    // No more packets will come: the taker gets the rest, then End.
    void Close();
    // Both sides return at once, now and from then on; the packets left are
    // dropped.
    void Stop();
    bool Stopped() const;
    // How many packets the taker has taken so far.
    std::uint64_t Taken() const;

    // Moves the next packet into packet, waiting for one.
    TTake Take(AVPacket* packet);

private:
    bool Full() const;
    bool HalfEmpty() const;
    bool Gathered() const;

    const std::size_t m_maxPackets;
    const std::size_t m_maxBytes;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;   // the putter waits for half a queue of room
    std::condition_variable m_ready;  // the taker waits for half a queue, or the end
    std::deque<AVPacket*> m_packets;
    std::size_t m_bytes = 0;
    std::uint64_t m_taken = 0;
    bool m_closed = false;
    bool m_stopped = false;
    bool m_putterWaits = false;
    bool m_takerWaits = false;
    bool m_draining = false;  // the taker goes on until the queue is empty
};
