// How the frames of two libmp3lame encoders are joined with the bit
// reservoir kept on. An MP3 frame's main data begins main_data_begin bytes
// before its own main-data slots, in the tails of the frames before it. In one
// encoder's stream the frames from k on keep exactly main_data_begin(k) bytes
// before frame k's slots, and the frames before k end their data before those
// bytes. So when the later encoder's frame k reaches back no further than the
// earlier encoder's frame k does, the earlier frames before k keep their
// headers and their own data, the bytes before frame k take the later
// stream's bytes there (and zeros, ancillary data, before them), and the later
// frames from k on follow unchanged. When no frame of a block fits, the frame
// before the join is given a higher bit-rate index to make room (each frame
// states its own rate, so the stream stays valid; the muxer then describes it
// with a Xing header instead of an Info header).
#pragma once

#include "tool/PacketJoin.h"

class TMp3ReservoirJoin : public TPacketJoin
{
public:
    // frameSamples: the encoder's frame_size, 1152 (MPEG-1) or 576 (MPEG-2
    // and 2.5). Both lead-in and candidates span the same stretch of sound.
    explicit TMp3ReservoirJoin(int frameSamples);

    int LeadInFrames() const override;
    int JoinCandidates() const override;
    int PostRollFrames() const override;

    // The first frame where later's frame reaches back no further than
    // earlier's; else the first where a higher bit rate of earlier's frame
    // before it makes the room; else -1.
    std::int64_t ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                            std::int64_t from) const override;
    bool Join(TEncodedFrames& earlier, const TEncodedFrames& later, std::int64_t join,
              std::string& error) const override;

    // Whether a join at JOIN can be made: with the streams as they are, or
    // (mayGrow) by giving earlier's frame before it a higher bit rate.
    static bool Fits(const TEncodedFrames& earlier, const TEncodedFrames& later, std::int64_t join,
                     bool mayGrow);

private:
    int m_framesPer1152;  // 1 for MPEG-1 frames, 2 for the half-size MPEG-2 ones
};
