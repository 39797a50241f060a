#include "tool/OutputTarget.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <sys/stat.h>

bool WritesOneFile(const AVOutputFormat* format, const std::string& outputPath, std::string& reason)
{
    // A muxer that opens its own files (playlists with segments, numbered
    // pictures, tee and segment writers, network outputs) does not write the
    // one file it is given.
    if (format->flags & AVFMT_NOFILE) {
        reason = "Cannot write '" + outputPath + "': the " + format->name +
                 " format writes several files or a pattern of names, not one file";
        return false;
    }
    return true;
}

bool IsOtherThanInput(const std::string& inputPath, const std::string& outputPath,
                      std::string& reason)
{
    struct stat in
    {
    };
    struct stat out
    {
    };
    if (::stat(inputPath.c_str(), &in) != 0 || ::stat(outputPath.c_str(), &out) != 0)
        return true;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        reason = "Cannot write '" + outputPath + "': it is the input file '" + inputPath +
                 "' itself; choose another output name";
        return false;
    }
    return true;
}
