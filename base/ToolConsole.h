// The console lines the conversion tool prints and the program reads: the
// labels the tool puts before its figures, and the patterns the program finds
// the figures with. The patterns are built from the labels, so the two sides
// cannot drift apart.
#pragma once

#include <string>

// "  Duration: 00:03:25.4, start: 0.000000, bitrate: 128 kb/s"
inline constexpr const char* DurationLabel = "Duration: ";
// "size=     40kB time=12.3 bitrate= 26.6kbits/s" (the status line)
inline constexpr const char* TimeLabel = "time=";
// "Audio: mp3, 44100 Hz, stereo, 128 kb/s" (in a stream line)
inline constexpr const char* AudioLabel = "Audio: ";

// The patterns are written for a matcher where "." matches line breaks too
// and "\s" is any white space; a blank of a label may be any white space.

// Hours, minutes and whole seconds of the duration line.
const std::string& DurationPattern();
// The whole seconds of the position in a status line.
const std::string& TimePattern();
// Codec, rate, channels and bit rate (in kb/s) of an audio stream line.
const std::string& AudioPattern();
// Codec, rate and channels of an audio stream line without a bit rate.
const std::string& AudioFallbackPattern();
