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
// pads the same frames as one that started at the stream's first. MP2's
// pattern at 44.1 and 22.05 kHz repeats only after 65,536 frames: there each
// encoder starts where its fraction comes nearest the stream's, and pads a
// frame the stream's encoder would not (or the other way) about once in
// 500 frames; such a frame differs by its byte of padding.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "tool/PacketJoin.h"

class TFixedFrameJoin : public TPacketJoin
{
public:
    // gridPeriod: the padding pattern's period in frames (1: it pads none).
    // paddingStep above 0: MP2's step of the pattern, whose period is too
    // long to start every encoder on: each starts near the stream's pattern.
    explicit TFixedFrameJoin(int gridPeriod, int paddingStep = 0)
        : m_gridPeriod(gridPeriod), m_paddingStep(paddingStep)
    {}

    int LeadInFrames() const override { return 1; }
    int JoinCandidates() const override { return 1; }
    int PostRollFrames() const override { return 0; }
    std::int64_t EncoderStart(std::int64_t frame) const override;
    std::int64_t ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                            std::int64_t from) const override;

private:
    int m_gridPeriod;
    int m_paddingStep;
};

// The period, in frames, of the padding pattern encoder follows (1: it pads
// none); 0 when encoder is none of the fixed-frame encoders.
int FixedFramePeriod(const AVCodecContext* encoder);

// MP2's step of its 16-bit padding fraction (0: it pads none, or encoder is
// no MP2 encoder).
int Mp2PaddingStep(const AVCodecContext* encoder);
