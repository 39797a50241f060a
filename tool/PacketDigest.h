// The running digest of one stream's packets in their order: each packet's
// size goes in before its bytes, so two runs of packets agree only when every
// packet does (the same bytes cut into other packets do not). The digest is
// libavutil's 128-bit MurmurHash3: a changed byte anywhere shows.
#pragma once

extern "C" {
#include <libavcodec/packet.h>
}

#include <array>
#include <cstdint>

struct TPacketSum
{
    std::array<std::uint8_t, 16> Hash{};
    std::int64_t Packets = 0;
    std::int64_t Bytes = 0;

    bool operator==(const TPacketSum&) const = default;
};

class TPacketDigest
{
public:
    TPacketDigest();
    ~TPacketDigest();
    TPacketDigest(const TPacketDigest&) = delete;
    TPacketDigest& operator=(const TPacketDigest&) = delete;

    // False when there was no memory for the digest: it then adds nothing up.
    bool IsAllocated() const { return m_state != nullptr; }
    void Add(const AVPacket* packet);
    // What went in; call once, after the last packet.
    TPacketSum Finish();

private:
    struct AVMurMur3* m_state = nullptr;
    TPacketSum m_sum;
};
