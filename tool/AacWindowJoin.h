// How the frames of two encoders of FFmpeg's own AAC encoder are joined. An
// AAC frame keeps no bytes in the frames before it, so the packets join as
// they are; what must agree is the window: the decoder overlaps each frame's
// second half with the next frame's first, so a join falls only where both
// encoders chose a long window, of the same shape, for the frame before the
// join and the frame at it. Only mono and stereo streams (one element per
// frame) are joined.
#pragma once

#include "tool/PacketJoin.h"

class TAacWindowJoin : public TPacketJoin
{
public:
    // Whether a stream of this encoder's can be joined: one channel element
    // per frame (at most two channels).
    static bool Joins(const AVCodecContext* encoder);

    int LeadInFrames() const override;
    int JoinCandidates() const override;
    int PostRollFrames() const override;
    // Half as much again for the lead-in's first frames, the stream's own
    // rate for its last ones (see the .cpp).
    std::int64_t LeadInBitRate(std::int64_t bitRate, int frame) const override;

    // The first frame where earlier's and later's frames before it and at it
    // are all long windows of one shape; -1 when none is.
    std::int64_t ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                            std::int64_t from) const override;
};
