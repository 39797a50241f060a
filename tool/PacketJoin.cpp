#include "tool/PacketJoin.h"

#include <string>

#include "tool/FixedFrameJoin.h"
#include "tool/Mp3ReservoirJoin.h"

namespace {

// A padding pattern longer than this many frames (MP2 at 44.1 kHz repeats
// only after 65,536 frames, 28 minutes) leaves blocks too long to start every
// encoder on its period.
constexpr int MaximumGridPeriod = 256;

}  // namespace

std::unique_ptr<TPacketJoin> MakePacketJoin(const AVCodecContext* encoder)
{
    if (!encoder || encoder->codec_type != AVMEDIA_TYPE_AUDIO || encoder->frame_size <= 0)
        return nullptr;
    // FFmpeg's wrapper gives LAME its own output rate as input rate: LAME
    // never resamples here, so its frames sit on the stream's grid.
    if (encoder->codec_id == AV_CODEC_ID_MP3 && encoder->codec &&
        std::string(encoder->codec->name) == "libmp3lame")
        return std::make_unique<TMp3ReservoirJoin>(encoder->frame_size);
    // FFmpeg's AAC encoder joins cleanly on agreeing long windows
    // (TAacWindowJoin), and its lead-in empties the bit reservoir as one
    // encoder's is, but at 320k speech-like sounds and clicks still lose
    // 0.2-1.4 dB against one encoder (state no lead-in reproduces): it
    // keeps one encoder.
    const int period = FixedFramePeriod(encoder);
    if (period > 0 && period <= MaximumGridPeriod)
        return std::make_unique<TFixedFrameJoin>(period);
    // MP2 at 44.1 and 22.05 kHz: each encoder starts near the stream's
    // padding pattern instead.
    if (period > MaximumGridPeriod && Mp2PaddingStep(encoder) > 0)
        return std::make_unique<TFixedFrameJoin>(1, Mp2PaddingStep(encoder));
    return nullptr;
}
