// The join of encoders whose frames stand alone: AC-3, WMA v2 and MP2 keep no
// bit reservoir and switch no block sizes, so a frame depends only on the
// sound it covers and the frame before it. One frame of lead-in gives the
// later encoder the history the earlier one had, and its packets take over on
// the block's first frame.
//
// What they do keep is a padding pattern: to hold a bit rate that is no whole
// number of bytes a frame, a frame is made a little larger now and then, by a
// count kept from the encoder's start (AC-3 at 44.1 kHz, MP2 at 44.1 and
// 22.05 kHz). An encoder that starts on a multiple of the pattern's period
// pads the same frames as one that started at the stream's first.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "tool/PacketJoin.h"

class TFixedFrameJoin : public TPacketJoin
{
public:
    explicit TFixedFrameJoin(int gridPeriod) : m_gridPeriod(gridPeriod) {}

    int LeadInFrames() const override { return 1; }
    int JoinCandidates() const override { return 1; }
    int PostRollFrames() const override { return 0; }
    int GridPeriod() const override { return m_gridPeriod; }
    std::int64_t ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                            std::int64_t from) const override;

private:
    int m_gridPeriod;
};

// The period, in frames, of the padding pattern encoder follows (1: it pads
// none); 0 when encoder is none of the fixed-frame encoders.
int FixedFramePeriod(const AVCodecContext* encoder);
