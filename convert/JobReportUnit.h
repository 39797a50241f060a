#pragma once

// What the closing box of a conversion job tells beyond its one line: which
// files were not converted and why, and which settings the tool brought to
// the nearest value the format takes. It becomes the box's detail text.

#include <string>

#include "common/StringFunctionsUnit.h"

// The short name of a format in its item text: "WAV" for "Waveform Audio
// Format (WAV)"; the whole text when it names none in parentheses.
std::string FormatShortName(const std::string& formatItem);

// Where the audio bit rate of a job's command line comes from.
enum class TBitRateSource
{
    Chosen,  // the user chose it
    Input,   // "Same As Input", filled with the input's own
    Other    // none asked for, or the format's own
};

class TJobReport
{
public:
    // How the notes speak: FORMAT (a short name such as "MP3") stands for the
    // tool's encoder names, and BITRATE says whose audio bit rate was asked.
    void SetWording(const std::string& format, TBitRateSource bitRate);

    // INPUT (a path) was not converted, for REASON.
    void AddFailure(const std::string& input, const std::string& reason);
    // The tool's notes on the settings of INPUT, converted or not, in the
    // format's words. A note that holds for the whole job is told once, and
    // the one on a bit rate that does not apply only when the user chose it.
    void AddNotes(const std::string& input, const TStringList& notes);

    // One line per failed file and per note, each starting with the file's
    // name (the job's own notes first, without one); "" when there is
    // nothing to tell.
    std::string DetailText() const;

private:
    std::string m_format;
    TBitRateSource m_bitRate = TBitRateSource::Chosen;
    TStringList m_failures;
    TStringList m_jobNotes;
    TStringList m_notes;
};
