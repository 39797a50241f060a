// How the packets of several encoders of one sound stream are joined into
// one stream. A long stream is cut into blocks on the encoder's frame grid;
// each block is encoded by an encoder of its own, started some frames before
// the block (the lead-in, whose packets are dropped) and run some frames past
// it, so that every kept frame was analysed with the sound around it. A rule
// per codec says how much lead-in it needs and where, within the first frames
// of a block, the later encoder's packets may take over.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The packets of one encoder by frame number on the whole stream's grid:
// Packets[i] holds frame First + i (frame n covers the encoder's n-th
// frame_size samples of the whole stream, counted from its first sample).
// The holder owns the packets.
struct TEncodedFrames
{
    std::int64_t First = 0;
    std::vector<AVPacket*> Packets;

    std::int64_t End() const { return First + static_cast<std::int64_t>(Packets.size()); }
    AVPacket* At(std::int64_t frame) const
    {
        return frame >= First && frame < End() ? Packets[static_cast<std::size_t>(frame - First)]
                                               : nullptr;
    }
};

class TPacketJoin
{
public:
    virtual ~TPacketJoin() = default;

    // Frames a later encoder is fed before its block; their packets are dropped.
    virtual int LeadInFrames() const = 0;
    // How many frames, from a block's first, the join may fall on (1: always
    // on the block's first frame).
    virtual int JoinCandidates() const = 0;
    // Frames an earlier encoder is fed past the last candidate, so that the
    // packets of every candidate frame come out whole.
    virtual int PostRollFrames() const = 0;
    // The first frame from frame on where a block's encoder may start (on
    // the period of a padding pattern that counts frames from the encoder's
    // start, say); any frame by default.
    virtual std::int64_t EncoderStart(std::int64_t frame) const { return frame; }
    // The bit rate a later encoder codes its lead-in frame `frame` (0 for its
    // first) at, given the stream's: a rule may steer the encoder's own rate
    // control towards the state one encoder would have reached by then.
    virtual std::int64_t LeadInBitRate(std::int64_t bitRate, int frame) const
    {
        (void)frame;
        return bitRate;
    }

    // The first frame in [from, from + JoinCandidates()) at which later's
    // packets may take over from earlier's, or -1 when none fits.
    virtual std::int64_t ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                                    std::int64_t from) const = 0;
    // Makes earlier's packets before join carry what later's packets from
    // join on need of them (the bytes an MP3 frame keeps in the frames before
    // it). False with a one-line reason.
    virtual bool Join(TEncodedFrames& earlier, const TEncodedFrames& later, std::int64_t join,
                      std::string& error) const
    {
        (void)earlier;
        (void)later;
        (void)join;
        (void)error;
        return true;
    }
};

// The rule for what encoder writes, nullptr when its stream is kept to one
// encoder (Vorbis, FLAC, PCM, ...).
std::unique_ptr<TPacketJoin> MakePacketJoin(const AVCodecContext* encoder);
