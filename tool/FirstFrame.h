// Whether the packets of a finished file's streams decode to anything. A
// stream can hold packets that its decoder turns into no frame at all (a
// single WMA packet written from a few damaged samples is one), which a player
// shows as an empty stream. Each stream is decoded only until its first frame
// comes out, so a long file costs little more than reading its packets.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <vector>

class TFirstFrameProbe
{
public:
    TFirstFrameProbe() = default;
    ~TFirstFrameProbe();
    TFirstFrameProbe(const TFirstFrameProbe&) = delete;
    TFirstFrameProbe& operator=(const TFirstFrameProbe&) = delete;

    // Hands a packet read from stream st to its decoder, unless the stream has
    // already given a frame.
    void Feed(const AVStream* st, const AVPacket* packet);
    // Drains the decoders; call once after the last packet.
    void Finish();
    // Whether stream index gave a frame. A stream without a decoder in this
    // build counts as giving frames: nothing can be judged about it here.
    bool GaveFrame(int index) const;

private:
    struct TState
    {
        AVCodecContext* Decoder = nullptr;
        bool Opened = false;  // a decoder was looked for
        bool Framed = false;
    };
    TState& StateOf(const AVStream* st);
    void Receive(TState& state);

    std::vector<TState> m_states;
    AVFrame* m_frame = nullptr;
};
