#pragma once

// What the closing box of a conversion job tells beyond its one line: which
// files were not converted and why, and which settings the tool brought to
// the nearest value the format takes. It becomes the box's detail text.

#include <string>

#include "common/StringFunctionsUnit.h"

class TJobReport
{
public:
    // INPUT (a path) was not converted, for REASON.
    void AddFailure(const std::string& input, const std::string& reason);
    // The tool's notes on the settings of INPUT, converted or not.
    void AddNotes(const std::string& input, const TStringList& notes);

    // One line per failed file and per note, each starting with the file's
    // name; "" when there is nothing to tell.
    std::string DetailText() const;

private:
    TStringList m_failures;
    TStringList m_notes;
};
