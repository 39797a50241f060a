// Outputs refused before anything is written: a format that writes segment
// files or a pattern of names instead of one file, an output that is the
// input itself (the same file under any spelling or link), and an output path
// that holds something other than a file (a device, a FIFO, a socket), which
// the rename at the end would replace.
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

// False with the reason (one line naming the output) when something other
// than a regular file (or a link to one) is at outputPath.
bool IsFileOrFree(const std::string& outputPath, std::string& reason);
