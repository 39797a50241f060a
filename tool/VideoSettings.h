// The video encoder's settings: pixel format, frame size, frame rate and
// quality, each taken from the command line or the input and brought to what
// the encoder takes, with one line for every value that had to change.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <string>

#include "tool/ToolOptions.h"

struct TVideoChoice
{
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
    TFrameSize Size;
    AVRational FrameRate{25, 1};
};

// The input picture stream's frame rate: the rate it is timed at, or the
// average of its frame times when these vary.
AVRational SourceFrameRate(AVFormatContext* input, AVStream* stream);

void ChooseVideoSettings(const AVCodec* codec, const AVCodecContext* dec,
                         const TToolOptions& options, TVideoChoice& choice);

// Bit rate, or near-transparent constant quality for "-sameq" (a CRF for
// x264, VP9, x265 and SVT-AV1); the GOP of a DVD for the "dvd" muxer.
void ApplyVideoQuality(AVCodecContext* enc, const TToolOptions& options, const std::string& muxer);
