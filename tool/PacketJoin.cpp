#include "tool/PacketJoin.h"

#include "tool/FixedFrameJoin.h"

namespace {

// A padding pattern longer than this many frames (MP2 at 44.1 kHz repeats
// only after 65,536 frames, 28 minutes) leaves blocks too long to share out:
// the stream keeps one encoder.
constexpr int MaximumGridPeriod = 256;

}  // namespace

std::unique_ptr<TPacketJoin> MakePacketJoin(const AVCodecContext* encoder)
{
    if (!encoder || encoder->codec_type != AVMEDIA_TYPE_AUDIO || encoder->frame_size <= 0)
        return nullptr;
    const int period = FixedFramePeriod(encoder);
    if (period > 0 && period <= MaximumGridPeriod)
        return std::make_unique<TFixedFrameJoin>(period);
    return nullptr;
}
