// Bounds that come from the file formats rather than from one encoder: the
// sample rates and frame rates worth writing at all, and the longest text a
// format's tag fields hold. A value outside is brought to the nearest one that
// fits, with one line saying so, as for the encoders' own limits.
#pragma once

#include <cstddef>
#include <string>

#include "tool/ToolOptions.h"

// Sample rates any audio format here is written at: 8 kHz to 192 kHz.
inline constexpr int kLowestSampleRate = 8000;
inline constexpr int kHighestSampleRate = 192000;

// rate brought into [kLowestSampleRate, kHighestSampleRate]; note gets the
// line to print when it changed, else it is cleared.
int BoundedSampleRate(int rate, const std::string& encoder, std::string& note);

// Frame rates from one picture a second to 240 a second (a slower rate would
// stretch a short clip by a whole picture's time). The rate is
// compared exactly (64-bit products), so no numerator or denominator overflows.
TFrameRate BoundedFrameRate(TFrameRate rate, const std::string& encoder, std::string& note);

// The most bytes one tag text may have in a container (its muxer's name);
// 0 when the format sets no limit we know of.
std::size_t TagTextLimit(const std::string& muxer);

// value cut to at most limit bytes without splitting a UTF-8 sequence;
// note names the tag and the format when it was cut.
std::string BoundedTagText(const std::string& key, const std::string& value,
                           const std::string& muxer, std::string& note);

// "29.97", "0.1", "240": a rate as the status lines print it.
std::string FrameRateText(TFrameRate rate);
