#include "base/ToolConsole.h"

#include <string_view>

namespace {

// LABEL as a pattern: each blank becomes "\s"; a label has no other byte a
// pattern gives a meaning to.
std::string LabelPattern(std::string_view label)
{
    std::string pattern;
    for (const char c : label) {
        if (c == ' ')
            pattern += R"(\s)";
        else
            pattern += c;
    }
    return pattern;
}

}  // namespace

const std::string& DurationPattern()
{
    static const std::string pattern = LabelPattern(DurationLabel) + R"((\d{2}):(\d{2}):(\d{2}))";
    return pattern;
}

const std::string& TimePattern()
{
    static const std::string pattern = LabelPattern(TimeLabel) + R"((\d+).\d*)";
    return pattern;
}

const std::string& AudioPattern()
{
    static const std::string pattern =
        LabelPattern(AudioLabel) + R"(([^,]+),\s([^,]+),\s([^,]+),\s([^,]+)kb\/s)";
    return pattern;
}

const std::string& AudioFallbackPattern()
{
    static const std::string pattern =
        LabelPattern(AudioLabel) + R"(([^,]+),\s([^,]+),\s([^,]+)\r\n)";
    return pattern;
}
