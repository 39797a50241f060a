#pragma once

// The tool's console output as lines, and what a person needs from them: the
// line in which a failed run names the file and the reason, and the notes on
// settings the tool brought to the nearest value the format takes.

#include <string>
#include <string_view>

#include "common/StringFunctionsUnit.h"

// Collects the lines of one run from its chunks; a line may span chunks.
// Status lines are not kept, and the number of lines kept is bounded (the
// last line always is), so a long run costs no more than a short one.
class TToolOutputLines
{
public:
    void Add(std::string_view chunk);
    // The output has ended: a last line without its line end counts too.
    void Finish();
    const TStringList& Lines() const { return m_lines; }

private:
    void Keep(std::string_view line);

    std::string m_partial;
    TStringList m_lines;
};

// "size= ... time=..." and the like: the progress the tool prints as it goes.
bool IsStatusLine(std::string_view line);

// The line of a failed run that says what went wrong: the last line the tool
// wrote, apart from status lines and the descriptions of input and output
// every run prints. Empty when it wrote none.
std::string FailureReason(const TStringList& lines);

// The lines in which the tool says it took another value than the one asked
// for ("... is not supported by ac3: using 32000 Hz"), in output order.
TStringList SettingNotes(const TStringList& lines);
