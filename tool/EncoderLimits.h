// What the encoders accept, as plain numbers: bit rate ladders, frame sizes.
// A setting outside these is brought to the nearest value that is accepted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/ToolOptions.h"

// The entry of values nearest to wanted; of two equally near, the larger.
// values must not be empty.
std::int64_t NearestValue(std::int64_t wanted, const std::vector<std::int64_t>& values);

// The bit rates (bit/s) an encoder codes at the given sample rate; empty when
// the encoder takes any bit rate (or its range is only known by trying).
std::vector<std::int64_t> AllowedAudioBitRates(const std::string& encoder, int sampleRate);

// The lowest and highest bit rate (bit/s) worth asking for; 0 when unbounded.
void AudioBitRateRange(const std::string& encoder, int sampleRate, int channels,
                       std::int64_t& lowest, std::int64_t& highest);

// The most channels an encoder takes; 0 when its own channel list decides.
int MaxAudioChannels(const std::string& encoder);

// Sample rates for encoders that publish no list of their own; empty: any.
std::vector<std::int64_t> AllowedSampleRates(const std::string& encoder);

// The one sample rate an encoder codes at whatever it is given (Opus: 48000);
// 0 when it takes others.
int OnlySampleRate(const std::string& encoder);

// The channel layout (a mask of AV_CH_* bits) an encoder needs for that many
// channels, whatever the input's layout; 0 when it takes the input's.
std::uint64_t RequiredChannelMask(const std::string& encoder, int channels);

// The frame size an encoder can code that is nearest to wanted: one of H.263's
// five picture sizes, the least and largest sizes of MPEG-1/2, VP9, HEVC and
// AV1, and even dimensions for 4:2:0 encoders.
TFrameSize NearestFrameSize(const std::string& encoder, TFrameSize wanted, bool evenDimensions);
