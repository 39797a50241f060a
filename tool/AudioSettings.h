// The audio encoder's settings: sample rate, channels and their layout,
// sample format, and bit rate or quality, each taken from the command line or
// the input and brought to what the encoder and the container take, with one
// line for every value that had to change.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <string>
#include <vector>

#include "tool/ToolOptions.h"

struct TAudioChoice
{
    int SampleRate = 0;
    int Channels = 0;
    AVChannelLayout Layout{};
    AVSampleFormat Format = AV_SAMPLE_FMT_NONE;
    std::int64_t BitRate = 0;  // 0: the encoder's default
    bool Whole = false;        // uncompressed or lossless: there is no bit rate
    bool UseQuality = false;
    double Quality = 0;

    TAudioChoice() = default;
    TAudioChoice(const TAudioChoice&) = delete;
    TAudioChoice& operator=(const TAudioChoice&) = delete;
    ~TAudioChoice() { av_channel_layout_uninit(&Layout); }
};

// Everything the encoder is opened with; muxer is the container's muxer name
// when the output's extension chose it, else empty.
void ChooseAudioSettings(const AVCodec* codec, const AVCodecContext* dec, const AVStream* in,
                         const TToolOptions& options, const std::string& muxer,
                         TAudioChoice& choice);

// The bit rates to open the encoder with, in turn: the chosen one, then the
// usual ones nearest first, then the encoder's default (0). Vorbis' limits
// depend on rate and channels together, so only opening it tells.
std::vector<std::int64_t> AudioBitRateTries(std::int64_t bitRate);

// "128" for 128000, "10.2" for 10200: a bit rate in kb/s as the lines print it.
std::string Kbit(std::int64_t bitRate);
