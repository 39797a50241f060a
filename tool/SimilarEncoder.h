// Another encoder like an open one: the same codec with the same settings,
// so that it codes the same sound into the same packets.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>

#include "tool/CodecContext.h"

// An open encoder of opened's codec with its settings (rate, layout, sample
// format, time base, bit rate or quality, flags, compliance and the codec's
// own options), running in the caller's thread. Nullptr with the one-line
// reason.
TCodecContext OpenSimilarEncoder(const AVCodecContext* opened, std::string& error);
