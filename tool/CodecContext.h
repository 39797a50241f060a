// An FFmpeg codec context owned the way the rest of the tool owns things:
// freed when its owner goes.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

struct TCodecContextFree
{
    void operator()(AVCodecContext* context) const;
};

using TCodecContext = std::unique_ptr<AVCodecContext, TCodecContextFree>;
