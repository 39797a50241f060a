// One encoder's run over a stretch of a sound stream: the frames it is fed
// (a block with its lead-in and what follows it) and the packets it gave, by
// frame number on the whole stream's grid.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "tool/PacketJoin.h"

class TSegmentJob
{
public:
    // The run of block over the frames from first on; last: the stream's
    // end, after which the encoder is drained. origin is the time of the
    // stream's first sample (in the encoder's time base): packet times count
    // frames from it. join's lead-in rates steer a later block's encoder.
    TSegmentJob(std::int64_t block, std::int64_t first, bool last, std::int64_t origin,
                const TPacketJoin& join)
        : m_block(block), m_first(first), m_last(last), m_origin(origin), m_join(join)
    {}
    ~TSegmentJob();
    TSegmentJob(const TSegmentJob&) = delete;
    TSegmentJob& operator=(const TSegmentJob&) = delete;

    // Takes frame (a reference of its own) as the next one of the run.
    void Add(AVFrame* frame) { m_frames.push_back(frame); }
    // Takes the frames of later that come after this run's, and its end: the
    // run then goes on over later's block.
    void ExtendOver(TSegmentJob& later);

    // Opens an encoder like the given one and feeds it every frame. False,
    // with Error(), on a failure or when stop is set (checked after each
    // frame).
    bool Run(const AVCodecContext* like, const std::atomic<bool>& stop);

    std::int64_t Block() const { return m_block; }
    std::int64_t First() const { return m_first; }
    std::int64_t End() const { return m_first + static_cast<std::int64_t>(m_frames.size()); }
    bool Last() const { return m_last; }
    TEncodedFrames& Packets() { return m_packets; }
    const std::string& Error() const { return m_error; }

private:
    bool Take(const AVPacket* packet, const AVCodecContext* encoder);
    void FreePackets();

    std::int64_t m_block;
    std::int64_t m_first;
    bool m_last;
    std::int64_t m_origin;
    const TPacketJoin& m_join;
    std::vector<AVFrame*> m_frames;
    TEncodedFrames m_packets;
    std::string m_error;
};
