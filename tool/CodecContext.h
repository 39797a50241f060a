// An FFmpeg codec context owned the way the rest of the tool owns things:
// freed when its owner goes.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

struct TCodecContextFree
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

using TCodecContext = std::unique_ptr<AVCodecContext, TCodecContextFree>;
