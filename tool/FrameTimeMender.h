// The time of each decoded frame of one stream on the output's timeline:
// counted from the file's start, jumps the decoder still hands out closed up
// (see TimestampGap.h), and a frame without a time placed after the one
// before it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>

#include "tool/TimestampGap.h"

class TFrameTimeMender
{
public:
    // startOffset (in inputTimeBase) is the file's start time; frameRate is
    // the output's picture rate (video only).
    TFrameTimeMender(AVMediaType type, AVRational inputTimeBase, AVRational frameRate,
                     std::int64_t startOffset);

    // The time of the next decoded frame: for sound in samples (1/sample
    // rate), for pictures in the input stream's time base.
    std::int64_t TimeOf(const AVFrame* frame);

private:
    std::int64_t ShiftFor(const AVFrame* frame, std::int64_t pts);

    AVMediaType m_type;
    AVRational m_timeBase;
    AVRational m_frameRate;
    std::int64_t m_startOffset;
    TTimestampMender m_mender{1};
    bool m_started = false;
    std::int64_t m_nextAudioPts = AV_NOPTS_VALUE;
    std::int64_t m_lastVideoPts = AV_NOPTS_VALUE;
};
