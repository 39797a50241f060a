// Files the tests read to see what a run did without a console line more:
// an environment variable names the file (unset or empty: nothing is
// written). FFMOD_SPLIT_JOINS gets where a split encode's blocks met,
// FFMOD_CHECK_DECODES how the finished file's sound was judged.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

inline void WriteReportFile(const char* variable, const std::string& text)
{
    const char* path = std::getenv(variable);
    if (!path || !*path)
        return;
    std::ofstream(path) << text;
}
