// The tool's console: the lines it prints, in the layout converters printed
// in 2007, with CR LF line ends. Each block goes out in one write so that a
// reader taking 1024 bytes at a time never sees a line cut in two by us.
#pragma once

#include <cstdint>
#include <string>

constexpr std::int64_t kNoValue = INT64_MIN;

// What a run without an output file ends with. The first line carries a comma
// so that a reader splitting the stream line at commas stops at its line end.
inline constexpr const char* kNoOutputLines =
    "No output file given, nothing is converted\r\n"
    "Must supply at least one output file\r\n";

// "  Duration: 00:03:25.4, start: 0.000000, bitrate: 128 kb/s" plus CR LF.
// Times in microseconds; kNoValue for unknown; bitRate 0 for unknown.
std::string FormatDurationLine(std::int64_t durationUs, std::int64_t startUs, std::int64_t bitRate);

// "Audio: mp3, 44100 Hz, stereo, 128 kb/s" (without the stream prefix).
std::string FormatAudioDescription(const std::string& codec, int sampleRate, int channels,
                                   std::int64_t bitRate);

// "Video: mpeg4, yuv420p, 320x240 [PAR 1:1 DAR 4:3], 200 kb/s, 25.00 tb(r)".
// sarNum 0 leaves out the aspect part; frameRate <= 0 leaves out the rate.
std::string FormatVideoDescription(const std::string& codec, const std::string& pixelFormat,
                                   int width, int height, int sarNum, int sarDen,
                                   std::int64_t bitRate, double frameRate);

struct TProgressFigures
{
    bool HasVideo = false;
    int Frames = 0;
    double Fps = 0;
    double Quality = 0;
    double SizeBytes = 0;
    double Seconds = 0;
    bool Last = false;
};

// The status line, ending in four blanks and a carriage return.
std::string FormatStatusLine(const TProgressFigures& figures);

// "video:12kB audio:34kB global headers:0kB muxing overhead 1.234567%" plus CR LF.
std::string FormatSummaryLine(double videoBytes, double audioBytes, double headerBytes,
                              double totalBytes);

// Writes the whole text to standard error, retrying on partial writes.
void WriteBlock(const std::string& text);
// Writes text plus CR LF as one block.
void WriteLine(const std::string& text);
