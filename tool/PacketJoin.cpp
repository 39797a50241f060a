#include "tool/PacketJoin.h"

#include <string>

#include "tool/AacWindowJoin.h"
#include "tool/FixedFrameJoin.h"
#include "tool/Mp3ReservoirJoin.h"

namespace {

// A padding pattern longer than this many frames (MP2 at 44.1 kHz repeats
// only after 65,536 frames, 28 minutes) leaves blocks too long to start every
// encoder on its period.
constexpr int MaximumGridPeriod = 256;

// FFmpeg's AAC blocks match one encoder up to this rate a channel.
constexpr std::int64_t MaximumAacBitRatePerChannel = 128000;

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
    // FFmpeg's AAC encoder joins cleanly on agreeing long windows, and its
    // lead-in empties the bit reservoir as one encoder's is. Above 160 kbit/s
    // a channel (mono at 320k) speech-like sounds and clicks still lose up to
    // 0.7 dB against one encoder (state no lead-in reproduces), and a
    // quality setting has no bit rate to steer the lead-in by: those keep
    // one encoder.
    if (encoder->codec && std::string(encoder->codec->name) == "aac" &&
        TAacWindowJoin::Joins(encoder) && !(encoder->flags & AV_CODEC_FLAG_QSCALE) &&
        encoder->bit_rate > 0 &&
        encoder->bit_rate <= MaximumAacBitRatePerChannel * encoder->ch_layout.nb_channels)
        return std::make_unique<TAacWindowJoin>();
    const int period = FixedFramePeriod(encoder);
    if (period > 0 && period <= MaximumGridPeriod)
        return std::make_unique<TFixedFrameJoin>(period);
    // MP2 at 44.1 and 22.05 kHz: each encoder starts near the stream's
    // padding pattern instead.
    if (period > MaximumGridPeriod && Mp2PaddingStep(encoder) > 0)
        return std::make_unique<TFixedFrameJoin>(1, Mp2PaddingStep(encoder));
    return nullptr;
}
