// Outputs refused before anything is written: a format that writes segment
// files or a pattern of names instead of one file, and an output that is the
// input itself (the same file under any spelling or link).
#pragma once

#include <string>

struct AVOutputFormat;

// False with the reason (one line naming the output) when the format does
// not write exactly the one file it is given.
bool WritesOneFile(const AVOutputFormat* format, const std::string& outputPath,
                   std::string& reason);

// False with the reason (one line naming the output) when outputPath names
// the same file as inputPath.
bool IsOtherThanInput(const std::string& inputPath, const std::string& outputPath,
                      std::string& reason);
