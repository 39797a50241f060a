// One encoder's run over a stretch of a sound stream: the frames it is fed
// (a block with its lead-in and what follows it) and the packets it gave, by
// frame number on the whole stream's grid.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "tool/HeldSamples.h"
#include "tool/PacketJoin.h"

class TSegmentJob
{
public:
    // The run of block over frames; last: the stream's end, after which the
    // encoder is drained. origin is the time of the stream's first sample
    // (in the encoder's time base): frame and packet times count frames from
    // it. join's lead-in rates steer a later block's encoder.
    TSegmentJob(std::int64_t block, std::unique_ptr<THeldRun> frames, bool last,
                std::int64_t origin, const TPacketJoin& join)
        : m_block(block), m_frames(std::move(frames)), m_last(last), m_origin(origin), m_join(join)
    {}
    ~TSegmentJob();
    TSegmentJob(const TSegmentJob&) = delete;
    TSegmentJob& operator=(const TSegmentJob&) = delete;

    // Takes the frames of later that come after this run's, and its end: the
    // run then goes on over later's block. False when there is no memory.
    bool ExtendOver(TSegmentJob& later);

    // Opens an encoder like the given one and feeds it every frame. False,
    // with Error(), on a failure or when stop is set (checked after each
    // frame).
    bool Run(const AVCodecContext* like, const std::atomic<bool>& stop);

    std::int64_t Block() const { return m_block; }
    std::int64_t First() const { return m_frames->First(); }
    std::int64_t End() const { return m_frames->End(); }
    bool Last() const { return m_last; }
    TEncodedFrames& Packets() { return m_packets; }
    const std::string& Error() const { return m_error; }

private:
    bool Take(const AVPacket* packet, const AVCodecContext* encoder);
    void FreePackets();

    std::int64_t m_block;
    std::unique_ptr<THeldRun> m_frames;
    bool m_last;
    std::int64_t m_origin;
    const TPacketJoin& m_join;
    TEncodedFrames m_packets;
    std::string m_error;
};
