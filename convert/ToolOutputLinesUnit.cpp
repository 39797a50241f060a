#include "convert/ToolOutputLinesUnit.h"

#include <array>

#include "base/ToolConsole.h"

namespace {

// Lines kept of one run; beyond that only the last line is replaced.
constexpr size_t MaxKeptLines = 256;
// Bytes kept of one line; a longer line is cut there.
constexpr size_t MaxLineBytes = 4096;

// How the tool words a setting it could not take as asked.
// (A "Same As Input" value the probe could not fill keeps the input's
// setting, which is what was asked: that line is no note.)
constexpr std::array<std::string_view, 5> NoteMarks{
    ": using ",                  // rate, channels, bit rate, frame size, frame rate
    "is ignored",                // an option the encoder has no use for
    "does not apply to",         // a bit rate for uncompressed audio
    "the usual tag is written",  // a FourCC that does not fit the codec
    "is encoded as",             // an encoder Debian lacks, replaced
};

// The blocks the tool prints on every run: the input's and the output's
// description, the stream mapping, the closing summary and the probe's end.
constexpr std::array<std::string_view, 10> DescriptionStarts{
    "Input #",
    "Output #",
    "Duration:",
    "Stream #",
    "Stream mapping:",
    "Press [q]",
    "Metadata:",
    "video:",
    "No output file given",
    "Must supply at least one output file"};

bool IsDescriptionLine(std::string_view line)
{
    for (const std::string_view start : DescriptionStarts) {
        if (line.starts_with(start))
            return true;
    }
    return false;
}

}  // namespace

void TToolOutputLines::Add(std::string_view chunk)
{
    for (const char c : chunk) {
        if (c == '\n' || c == '\r') {
            Keep(m_partial);
            m_partial.clear();
        } else if (m_partial.size() < MaxLineBytes) {
            m_partial += c;
        }
    }
}

void TToolOutputLines::Finish()
{
    Keep(m_partial);
    m_partial.clear();
}

void TToolOutputLines::Keep(std::string_view line)
{
    std::string text = TrimString(line);
    if (text.empty() || IsStatusLine(text))
        return;
    if (m_lines.size() < MaxKeptLines)
        m_lines.push_back(std::move(text));
    else
        m_lines.back() = std::move(text);
}

bool IsStatusLine(std::string_view line)
{
    const std::string text = TrimString(line);
    return text.find(TimeLabel) != std::string::npos &&
           (text.starts_with("size=") || text.starts_with("Lsize=") || text.starts_with("frame="));
}

std::string FailureReason(const TStringList& lines)
{
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const std::string text = TrimString(*line);
        if (!text.empty() && !IsStatusLine(text) && !IsDescriptionLine(text))
            return text;
    }
    return std::string();
}

TStringList SettingNotes(const TStringList& lines)
{
    TStringList notes;
    for (const std::string& line : lines) {
        for (const std::string_view mark : NoteMarks) {
            if (line.find(mark) != std::string::npos) {
                notes.push_back(line);
                break;
            }
        }
    }
    return notes;
}
