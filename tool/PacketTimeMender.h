// Jumps in the input's packet times, closed up before the decoders see them
// (see TimestampGap.h): one mender over all streams of the input, as a stream
// starting far from the others is brought to them.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include "tool/TimestampGap.h"

class TPacketTimeMender
{
public:
    explicit TPacketTimeMender(const AVFormatContext* input);

    // Mends the times of a packet read from input: a stray presentation time
    // is dropped, a jump is closed up.
    void Mend(AVPacket* packet);

private:
    const AVFormatContext* m_input;
    TTimestampMender m_mender;
};
