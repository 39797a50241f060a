#include "tool/OptionBounds.h"

#include <cstdint>
#include <cstdio>

namespace {

// a < b for two positive fractions, without overflow.
bool Less(TFrameRate a, TFrameRate b)
{
    return static_cast<std::int64_t>(a.Num) * b.Den < static_cast<std::int64_t>(b.Num) * a.Den;
}

constexpr TFrameRate kLowestFrameRate{1, 1};
constexpr TFrameRate kHighestFrameRate{240, 1};

}  // namespace

int BoundedSampleRate(int rate, const std::string& encoder, std::string& note)
{
    note.clear();
    int bounded = rate;
    if (bounded < kLowestSampleRate)
        bounded = kLowestSampleRate;
    if (bounded > kHighestSampleRate)
        bounded = kHighestSampleRate;
    if (bounded != rate)
        note = "Sample rate " + std::to_string(rate) + " Hz is not supported by " + encoder +
               ": using " + std::to_string(bounded) + " Hz";
    return bounded;
}

std::string FrameRateText(TFrameRate rate)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3f", static_cast<double>(rate.Num) / rate.Den);
    std::string text = buffer;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

TFrameRate BoundedFrameRate(TFrameRate rate, const std::string& encoder, std::string& note)
{
    note.clear();
    if (rate.Num <= 0 || rate.Den <= 0)
        return rate;
    TFrameRate bounded = rate;
    if (Less(rate, kLowestFrameRate))
        bounded = kLowestFrameRate;
    else if (Less(kHighestFrameRate, rate))
        bounded = kHighestFrameRate;
    else
        return rate;
    note = "Frame rate " + std::to_string(rate.Num) + "/" + std::to_string(rate.Den) +
           " is not supported by " + encoder + ": using " + FrameRateText(bounded);
    return bounded;
}

std::size_t TagTextLimit(const std::string& muxer)
{
    // FLV keeps its tags as script strings with a 16-bit length, but the
    // reader most players use takes no string of 1,024 bytes or more.
    if (muxer == "flv")
        return 1023;
    // QuickTime's user data strings have a 16-bit length.
    if (muxer == "mov")
        return 65535;
    // ASF's content description stores UTF-16 text with a 16-bit byte count
    // (and its closing zero): 32,766 UTF-16 units, and a UTF-8 byte never
    // becomes more than one unit.
    if (muxer == "asf")
        return 32766;
    return 0;
}

std::string BoundedTagText(const std::string& key, const std::string& value,
                           const std::string& muxer, std::string& note)
{
    note.clear();
    const std::size_t limit = TagTextLimit(muxer);
    if (limit == 0 || value.size() <= limit)
        return value;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    note = "The " + key + " of " + std::to_string(value.size()) + " bytes is longer than " + muxer +
           " holds: using its first " + std::to_string(end) + " bytes";
    return value.substr(0, end);
}
