#include "convert/JobReportUnit.h"

#include "common/WinSystemFunctionsUnit.h"

namespace {

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

void TJobReport::AddNotes(const std::string& input, const TStringList& notes)
{
    for (const std::string& note : notes)
        m_notes.push_back(Entry(input, note));
}

std::string TJobReport::DetailText() const
{
    std::string detail;
    AppendSection(detail, "Not converted:", m_failures);
    AppendSection(detail, "Settings changed to what the format takes:", m_notes);
    return detail;
}
