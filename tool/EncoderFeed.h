// One step of an encoder: a frame in, every packet it has ready out.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <functional>

// What FeedEncoder returns when take refused a packet.
inline constexpr int FeedRefused = 1;

// Hands frame to encoder (nullptr: the end of the stream) and each packet it
// gives, received into scratch, to take; scratch is emptied after each.
// 0 when all went in, FeedRefused when take refused a packet, or the
// library's (negative) error code.
int FeedEncoder(AVCodecContext* encoder, const AVFrame* frame, AVPacket* scratch,
                const std::function<bool(AVPacket*)>& take);
