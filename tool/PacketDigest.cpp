#include "tool/PacketDigest.h"

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/mem.h>
#include <libavutil/murmur3.h>
}

TPacketDigest::TPacketDigest() : m_state(av_murmur3_alloc())
{
    if (m_state)
        av_murmur3_init(m_state);
}

TPacketDigest::~TPacketDigest()
{
    av_free(m_state);
}

void TPacketDigest::Add(const AVPacket* packet)
{
    if (!m_state)
        return;
    const int size = packet->size > 0 ? packet->size : 0;
    std::uint8_t length[4];
    AV_WL32(length, static_cast<unsigned>(size));
    av_murmur3_update(m_state, length, sizeof length);
    if (size > 0)
        av_murmur3_update(m_state, packet->data, static_cast<std::size_t>(size));
    ++m_sum.Packets;
    m_sum.Bytes += size;
}

TPacketSum TPacketDigest::Finish()
{
    if (m_state)
        av_murmur3_final(m_state, m_sum.Hash.data());
    return m_sum;
}
