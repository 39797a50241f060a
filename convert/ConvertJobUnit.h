#pragma once

// The audio and the video conversion jobs, apart from the window: output
// names and the loop over the input files with its closing message (the
// command lines and the probe's fills come from ToolCommandUnit and
// ProbeFillUnit). The main window passes in what the user chose and unlocks
// itself when the job returns.

#include <functional>
#include <string>
#include <string_view>

#include "common/StringFunctionsUnit.h"
#include "convert/ProbeFillUnit.h"
#include "convert/ToolCommandUnit.h"

class TJobHost;

// The destination folder, trimmed, ending with the path delimiter.
std::string DestinationFolderPath(std::string_view folder);

// The input's file-name part with every "." replaced by "_".
std::string OutputFileName(const std::string& inputPath);

// FOLDER + NAME + "." + the lower-cased EXTENSION. When TAKEN says that path
// must not be written (an output the job has written already, or one of the
// job's own input files) the first of " (2)", " (3)", ... before the extension
// that is neither taken nor already on disk.
std::string OutputFilePath(const std::string& folder, const std::string& name,
                           std::string_view extension,
                           const std::function<bool(const std::string&)>& taken,
                           const std::function<bool(const std::string&)>& exists = {});

// The tool's path: the temporary directory + "ffmod.exe" ("" when there is no
// usable temporary directory, which makes every run fail to start).
std::string ToolPath();

struct TAudioJobInput
{
    TStringList InputFiles;
    std::string DestinationFolder;
    // The selected item texts of the page's four choice lists.
    std::string Format;
    std::string Frequency;
    std::string Bitrate;
    std::string Channels;
};

struct TVideoJobInput
{
    TStringList InputFiles;
    std::string DestinationFolder;
    // The selected item texts of the page's five choice lists.
    std::string Format;
    std::string AudioBitrate;
    std::string VideoBitrate;
    std::string Resolution;
    std::string Channels;
};

// Convert every input file and show the closing message (none after Cancel).
// Return the number of files converted. The caller unlocks its window.
int RunAudioJob(const TAudioJobInput& input, TJobHost& host);
int RunVideoJob(const TVideoJobInput& input, TJobHost& host);
