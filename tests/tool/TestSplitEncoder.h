// A small stand-in for the tool's segment workers, for testing the packet
// joins on their own: it encodes a whole sound once with one encoder, or in
// blocks with an encoder per block (each started a lead-in before its block
// and run past it) and joins the packets through a TPacketJoin, then writes
// the packets with libavformat.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <string>
#include <vector>

#include "tool/PacketJoin.h"

// Planar float sound.
struct TPlanarSound
{
    int SampleRate = 0;
    std::vector<std::vector<float>> Planes;

    std::int64_t Samples() const
    {
        return Planes.empty() ? 0 : static_cast<std::int64_t>(Planes[0].size());
    }
};

struct TTestEncoderSettings
{
    std::string Encoder;  // "libmp3lame", "aac"
    std::int64_t BitRate = 128000;
    int Quality = -1;  // a VBR quality instead of the bit rate when at least 0
};

// What the split encode did at its block edges.
struct TSplitStats
{
    std::vector<std::int64_t> Joins;  // the frames the later encoders took over at
    int Moved = 0;                    // joins after a block's first frame
    int Grown = 0;                    // joins that enlarged the frame before them
    int Refused = 0;                  // block edges where no candidate fitted
};

// Owns encoded packets and the encoder parameters a muxer needs.
struct TEncodedStream
{
    TEncodedFrames Frames;
    AVCodecParameters* Parameters = nullptr;
    int FrameSize = 0;

    TEncodedStream() = default;
    TEncodedStream(const TEncodedStream&) = delete;
    TEncodedStream& operator=(const TEncodedStream&) = delete;
    ~TEncodedStream();
};

class TTestSplitEncoder
{
public:
    TTestSplitEncoder(const TPlanarSound& sound, TTestEncoderSettings settings)
        : m_sound(sound), m_settings(std::move(settings))
    {}

    // The whole sound through one encoder.
    bool EncodeWhole(TEncodedStream& out, std::string& error) const;
    // Blocks of BLOCKFRAMES frames, each by its own encoder, joined by RULE;
    // LEADIN overrides the rule's lead-in when at least 0.
    bool EncodeSplit(const TPacketJoin& rule, int blockFrames, TEncodedStream& out,
                     TSplitStats& stats, std::string& error, int leadIn = -1) const;

private:
    // Frames [first, end) of the whole stream's grid by an encoder started at
    // frame FIRST; ending the stream when END passes the sound's end. The
    // first LEADIN frames are coded at STEER's lead-in rates.
    bool Encode(std::int64_t first, std::int64_t end, TEncodedStream& out, std::string& error,
                const TPacketJoin* steer = nullptr, std::int64_t leadIn = 0) const;

    const TPlanarSound& m_sound;
    TTestEncoderSettings m_settings;
};

// Writes the packets into PATH in FORMAT ("mp3", "ipod").
bool WriteEncoded(const TEncodedStream& stream, const std::string& path, const char* format,
                  std::string& error);
