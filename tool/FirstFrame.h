// Whether the packets of a finished file's streams decode, and decode
// cleanly. A stream can hold packets that its decoder turns into no frame at
// all (a single WMA packet written from a few damaged samples is one), which a
// player shows as an empty stream, or frames its decoder rejects or only
// conceals. Each stream is decoded until its first frame comes out and through
// a stretch of its packets beyond (all of them for a file of sound alone,
// where decoding is cheap).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>
#include <string>
#include <vector>

#include "tool/LibraryErrorWatch.h"

class TFirstFrameProbe
{
public:
    // stretchSeconds: how much of each stream, from its first packet, is
    // decoded beyond its first frame; negative: all of it.
    explicit TFirstFrameProbe(double stretchSeconds = 0) : m_stretch(stretchSeconds) {}
    ~TFirstFrameProbe();
    TFirstFrameProbe(const TFirstFrameProbe&) = delete;
    TFirstFrameProbe& operator=(const TFirstFrameProbe&) = delete;

    // Hands a packet read from stream st to its decoder, unless the stream has
    // already given a frame.
    void Feed(const AVStream* st, const AVPacket* packet);
    // The same for a stream known by its index, the parameters its decoder is
    // opened with (at its first packet) and the time base of its packets:
    // packets on their way into a muxer.
    void Feed(int index, const AVCodecParameters* parameters, AVRational timeBase,
              const AVPacket* packet);
    // Drains the decoders; call once after the last packet.
    void Finish();
    // Whether stream index gave a frame. A stream without a decoder in this
    // build counts as giving frames: nothing can be judged about it here.
    bool GaveFrame(int index) const;
    // Empty when what was decoded of stream index decoded cleanly, else the
    // first error its decoder gave.
    std::string DecodeProblem(int index) const;

private:
    struct TState
    {
        AVCodecContext* Decoder = nullptr;
        bool Opened = false;  // a decoder was looked for
        bool Framed = false;
        bool Done = false;  // decoded as far as it is judged
        std::int64_t StartTs = AV_NOPTS_VALUE;
        std::unique_ptr<TLibraryErrorWatch> Watch;  // what the decoder logs
        std::string Error;                          // the first error it returned
    };
    TState& StateOf(int index, const AVCodecParameters* parameters, AVRational timeBase);
    void Receive(TState& state);
    void NoteError(TState& state, int rc);

    double m_stretch = 0;
    std::vector<TState> m_states;
    AVFrame* m_frame = nullptr;
};
