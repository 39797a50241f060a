#include "convert/JobReportUnit.h"

#include <algorithm>
#include <regex>

#include "common/WinSystemFunctionsUnit.h"

namespace {

// The encoder names the tool's notes use; the report says the format instead.
const std::regex& EncoderName()
{
    static const std::regex name(
        "(^|\\b(?:by|than|what|fit) )(libmp3lame|libvorbis|vorbis|wmav2|pcm_[a-z0-9]+|aac|ac3|mp2|"
        "libopencore_amrnb|mpeg4|libxvid|mpeg1video|mpeg2video|libx264|h263|flv|wmv2|flac|libopus|"
        "libvpx-vp9|libx265|libsvtav1)\\b");
    return name;
}

bool IsBitRateThatDoesNotApply(const std::string& note)
{
    return note.find("does not apply to") != std::string::npos;
}

// Why the bit rate does not apply, in the tool's words: "lossless" for
// "... does not apply to flac (lossless): ...", else "uncompressed".
std::string WholeSoundKind(const std::string& note)
{
    return note.find("(lossless)") != std::string::npos ? "lossless" : "uncompressed";
}

std::string Entry(const std::string& input, const std::string& text)
{
    return ExtractFileNamePart(input) + ": " + text;
}

void AppendSection(std::string& detail, const char* heading, const TStringList& entries)
{
    if (entries.empty())
        return;
    if (!detail.empty())
        detail += "\n";
    detail += heading;
    detail += "\n";
    for (const std::string& entry : entries)
        detail += entry + "\n";
}

}  // namespace

void TJobReport::AddFailure(const std::string& input, const std::string& reason)
{
    m_failures.push_back(Entry(input, reason));
}

std::string FormatShortName(const std::string& formatItem)
{
    const size_t open = formatItem.rfind('(');
    const size_t close = formatItem.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open + 2)
        return formatItem;
    return formatItem.substr(open + 1, close - open - 1);
}

void TJobReport::SetWording(const std::string& format, TBitRateSource bitRate)
{
    m_format = format;
    m_bitRate = bitRate;
}

void TJobReport::AddNotes(const std::string& input, const TStringList& notes)
{
    for (const std::string& note : notes) {
        if (IsBitRateThatDoesNotApply(note)) {
            // Uncompressed and lossless audio have no bit rate to choose: one
            // line for the job, and none when the bit rate was the input's own.
            const std::string text = (m_format.empty() ? std::string("The format") : m_format) +
                                     " is " + WholeSoundKind(note) +
                                     ": the bit rate does not apply";
            if (m_bitRate == TBitRateSource::Chosen &&
                std::find(m_jobNotes.begin(), m_jobNotes.end(), text) == m_jobNotes.end())
                m_jobNotes.push_back(text);
            continue;
        }
        std::string text =
            m_format.empty() ? note : std::regex_replace(note, EncoderName(), "$1" + m_format);
        // A bit rate the user left at "Same As Input" is the input's.
        if (m_bitRate == TBitRateSource::Input && text.starts_with("Audio bit rate "))
            text = "The input's audio bit rate " + text.substr(15);
        m_notes.push_back(Entry(input, text));
    }
}

std::string TJobReport::DetailText() const
{
    std::string detail;
    AppendSection(detail, "Not converted:", m_failures);
    TStringList notes = m_jobNotes;
    notes.insert(notes.end(), m_notes.begin(), m_notes.end());
    AppendSection(detail, "Settings changed to what the format takes:", notes);
    return detail;
}
