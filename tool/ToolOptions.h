// Command line of the conversion tool: the 2007 option dialect, parsed into
// plain values. Nothing here knows about codecs; the transcoder decides what
// each value means for the encoder it opens.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool/ThreadBudget.h"

// How a setting reached us: not named at all, named with a value that could
// not be read (an unfilled placeholder: keep the input's value), or given.
enum class TSettingState
{
    NotGiven,
    SameAsInput,
    Given
};

template <typename T>
struct TSetting
{
    TSettingState State = TSettingState::NotGiven;
    T Value{};

    bool IsGiven() const { return State == TSettingState::Given; }
    void Set(const T& value)
    {
        State = TSettingState::Given;
        Value = value;
    }
};

struct TFrameSize
{
    int Width = 0;
    int Height = 0;
};

struct TFrameRate
{
    int Num = 0;
    int Den = 1;
};

struct TToolOptions
{
    std::string InputPath;
    bool HasInput = false;
    std::string OutputPath;
    bool HasOutput = false;
    bool Overwrite = false;
    bool NoVideo = false;
    bool NoAudio = false;
    std::string AudioCodec;
    std::string VideoCodec;
    TSetting<int> SampleRate;
    TSetting<int> Channels;
    TSetting<std::int64_t> AudioBitRate;
    TSetting<std::int64_t> VideoBitRate;
    // "-aq" as read (SI suffixes applied); AudioQualityHasSuffix tells "128k" from "128".
    TSetting<double> AudioQuality;
    bool AudioQualityHasSuffix = false;
    TSetting<TFrameSize> FrameSize;
    TSetting<TFrameRate> FrameRate;
    std::string VideoTag;
    int SameQuality = 0;
    std::optional<std::string> Copyright;
    std::optional<std::string> Comment;
    // "-threads": ThreadsNotGiven, 0 for every processor ("0" or "auto"), or N.
    int Threads = ThreadsNotGiven;
    // One line each: a value that was not a number and is treated as not given.
    std::vector<std::string> Warnings;
};

// Reads the arguments after the program name. Returns false with a one-line
// reason for an unknown option, a missing value or a second input.
bool ParseToolArguments(const std::vector<std::string>& args, TToolOptions& options,
                        std::string& error);

// "128k" -> 128000, "10.2k" -> 10200, "1M" -> 1000000; false for anything else.
bool ParseBitRateText(const std::string& text, double& value, bool* hasSuffix = nullptr);
// "352x288" or a size name such as "qcif"; false for anything else.
bool ParseFrameSizeText(const std::string& text, TFrameSize& size);
// "25", "29.97" (snapped to 30000/1001), "30000/1001", "ntsc", "pal", "film".
bool ParseFrameRateText(const std::string& text, TFrameRate& rate);
// A positive decimal integer that fits an int.
bool ParsePositiveInt(const std::string& text, int& value);
