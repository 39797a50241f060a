// How the VP9, HEVC and AV1 encoders work: at a speed a desktop finishes a
// film in reasonable time, in the threads of the run's budget, and with
// their own console messages kept to errors.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

// Sets the encoder's speed, threads and messages before it opens. threads is
// the run's budget (0: the library's own choice, every processor).
void ApplyVideoEncoderSpeed(AVCodecContext* enc, int threads);
