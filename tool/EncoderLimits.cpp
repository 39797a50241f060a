#include "tool/EncoderLimits.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdlib>

namespace {

std::vector<std::int64_t> Kilo(std::initializer_list<int> kbits)
{
    std::vector<std::int64_t> values;
    for (int k : kbits)
        values.push_back(static_cast<std::int64_t>(k) * 1000);
    return values;
}

}  // namespace

std::int64_t NearestValue(std::int64_t wanted, const std::vector<std::int64_t>& values)
{
    std::int64_t best = values.front();
    for (std::int64_t v : values) {
        const std::int64_t d = std::llabs(v - wanted);
        const std::int64_t bestD = std::llabs(best - wanted);
        if (d < bestD || (d == bestD && v > best))
            best = v;
    }
    return best;
}

std::vector<std::int64_t> AllowedAudioBitRates(const std::string& encoder, int sampleRate)
{
    if (encoder == "libmp3lame") {
        if (sampleRate >= 32000)
            return Kilo({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320});
        if (sampleRate >= 16000)
            return Kilo({8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160});
        return Kilo({8, 16, 24, 32, 40, 48, 56, 64});
    }
    if (encoder == "mp2" || encoder == "mp2fixed") {
        if (sampleRate >= 32000)
            return Kilo({32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384});
        return Kilo({8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160});
    }
    if (encoder == "ac3" || encoder == "ac3_fixed")
        return Kilo({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512,
                     576, 640});
    if (encoder == "libopencore_amrnb")
        return {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};
    return {};
}

void AudioBitRateRange(const std::string& encoder, int sampleRate, int channels,
                       std::int64_t& lowest, std::int64_t& highest)
{
    lowest = 0;
    highest = 0;
    if (encoder == "aac") {
        // The native AAC encoder codes at most 6144 bits per channel and frame.
        lowest = 8000;
        highest = static_cast<std::int64_t>(6144) * channels * sampleRate / 1024;
    } else if (encoder == "wmav2" || encoder == "wmav1") {
        lowest = 24000;
        highest = 384000;
    } else if (encoder == "libvorbis") {
        // The real bounds depend on rate and channels; opening the encoder tells.
        lowest = 8000;
        highest = 500000;
    } else if (encoder == "libopus") {
        // Opus codes 6 to 510 kbit/s; libopus takes at most 256 kbit/s a channel.
        lowest = 6000;
        highest = std::min<std::int64_t>(510000, static_cast<std::int64_t>(256000) * channels);
    }
}

int MaxAudioChannels(const std::string& encoder)
{
    if (encoder == "wmav2" || encoder == "wmav1" || encoder == "libmp3lame" || encoder == "mp2" ||
        encoder == "mp2fixed")
        return 2;
    if (encoder == "libopencore_amrnb")
        return 1;
    if (encoder == "libvorbis" || encoder == "libopus" || encoder == "flac")
        return 8;
    return 0;
}

std::vector<std::int64_t> AllowedSampleRates(const std::string& encoder)
{
    if (encoder == "wmav2" || encoder == "wmav1")
        return {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    if (encoder == "libopencore_amrnb")
        return {8000};
    return {};
}

int OnlySampleRate(const std::string& encoder)
{
    return encoder == "libopus" ? 48000 : 0;
}

std::uint64_t RequiredChannelMask(const std::string& encoder, int channels)
{
    // Above two channels libopus writes the Vorbis channel order (mapping
    // family 1) and refuses any other layout of that count, such as the
    // 5.1(side) of most films.
    if (encoder != "libopus" || channels <= 2 || channels > 8)
        return 0;
    static const std::uint64_t kVorbisOrder[] = {
        AV_CH_LAYOUT_SURROUND,     AV_CH_LAYOUT_QUAD,    AV_CH_LAYOUT_5POINT0_BACK,
        AV_CH_LAYOUT_5POINT1_BACK, AV_CH_LAYOUT_6POINT1, AV_CH_LAYOUT_7POINT1};
    return kVorbisOrder[channels - 3];
}

TFrameSize NearestFrameSize(const std::string& encoder, TFrameSize wanted, bool evenDimensions)
{
    if (encoder == "h263") {
        static const TFrameSize kSizes[] = {
            {128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
        TFrameSize best = kSizes[0];
        long long bestD = -1;
        for (const TFrameSize& s : kSizes) {
            const long long d = std::llabs(static_cast<long long>(s.Width) - wanted.Width) +
                                std::llabs(static_cast<long long>(s.Height) - wanted.Height);
            if (bestD < 0 || d < bestD) {
                best = s;
                bestD = d;
            }
        }
        return best;
    }
    TFrameSize size = wanted;
    // MPEG-1/2 code at most 4095 in either direction.
    if (encoder == "mpeg1video" || encoder == "mpeg2video") {
        size.Width = std::min(size.Width, 4095);
        size.Height = std::min(size.Height, 4095);
    }
    // SVT-AV1 refuses pictures under 64 in either direction, and x265 3.5
    // corrupts its memory on some small ones (34x18).
    if (encoder == "libsvtav1" || encoder == "libx265") {
        size.Width = std::max(size.Width, 64);
        size.Height = std::max(size.Height, 64);
    }
    if (encoder == "libsvtav1") {
        size.Width = std::min(size.Width, 16384);
        size.Height = std::min(size.Height, 8704);
    } else if (encoder == "libvpx-vp9") {
        size.Width = std::min(size.Width, 16384);
        size.Height = std::min(size.Height, 16384);
    } else if (encoder == "libx265") {
        size.Width = std::min(size.Width, 8192);
        size.Height = std::min(size.Height, 4320);
    }
    if (evenDimensions) {
        size.Width = std::max(2, size.Width - size.Width % 2);
        size.Height = std::max(2, size.Height - size.Height % 2);
    }
    return size;
}
