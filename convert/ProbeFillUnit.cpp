#include "convert/ProbeFillUnit.h"

#include <array>
#include <utility>

#include "common/StringFunctionsUnit.h"
#include "convert/ToolCommandUnit.h"

namespace {

// Far above any real input; a larger figure is not a channel count.
constexpr int MaxChannels = 255;

// Layouts known by name rather than by their figures.
constexpr std::array<std::pair<std::string_view, int>, 9> NamedLayouts{{
    {"mono", 1},
    {"stereo", 2},
    {"downmix", 2},
    {"binaural", 2},
    {"quad", 4},
    {"hexagonal", 6},
    {"octagonal", 8},
    {"cube", 8},
    {"hexadecagonal", 16},
}};

// The leading decimal number of TEXT from POS on; advances POS past it.
// -1 when TEXT has no digit there or the number is absurdly large.
int ReadNumber(std::string_view text, size_t& pos)
{
    const size_t begin = pos;
    int value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        if (value > MaxChannels)
            return -1;
        ++pos;
    }
    return pos > begin ? value : -1;
}

// "N channels", with or without the channel names after it.
int CountedChannels(std::string_view text)
{
    size_t pos = 0;
    const int count = ReadNumber(text, pos);
    if (count <= 0)
        return 0;
    const std::string_view rest = text.substr(pos);
    return rest.starts_with(" channel") ? count : 0;
}

// Figures joined by "." or ":" ("5.1", "7.1.4", "22.2", "5:1"): front and
// surround channels plus the low-frequency and height ones, all added up. A
// variant in brackets after the figures ("5.1(side)") has as many channels.
int FiguredChannels(std::string_view text)
{
    size_t pos = 0;
    int total = 0;
    int figures = 0;
    for (;;) {
        const int figure = ReadNumber(text, pos);
        if (figure < 0)
            return 0;
        total += figure;
        ++figures;
        if (pos < text.size() && (text[pos] == '.' || text[pos] == ':')) {
            ++pos;
            continue;
        }
        break;
    }
    const std::string_view rest = text.substr(pos);
    if (figures < 2 || total <= 0 || total > MaxChannels ||
        !(rest.empty() || (rest.front() == '(' && rest.back() == ')')))
        return 0;
    return total;
}

}  // namespace

int ChannelCountFromLayout(std::string_view layout)
{
    const std::string text = AsciiLowerCase(TrimString(layout));
    const std::string_view name = std::string_view(text).substr(0, text.find('('));
    for (const auto& [known, channels] : NamedLayouts) {
        if (name == known)
            return channels;
    }
    if (const int counted = CountedChannels(text))
        return counted;
    return FiguredChannels(text);
}

void ApplyProbeResult(TToolCommand& command, const std::string& probeResult,
                      std::string_view extension)
{
    const TStringList fields = SplitString("|||", probeResult);
    if (fields.size() >= 3)
        command.ReplaceInSettings("[KHZ]", TrimString(ReplaceString("Hz", "", fields[2])));
    if (fields.size() >= 4) {
        const int channels = ChannelCountFromLayout(fields[3]);
        if (channels > 0)
            command.ReplaceInSettings("[CHANNEL]", std::to_string(channels));
    }
    if (fields.size() == 5)
        command.ReplaceInSettings("[AKBIT]", TrimString(ReplaceString("kbit", "", fields[4])));
    if (AsciiLowerCase(extension) == "ogg")
        command.ReplaceInSettings("-ab", "-aq");
}
