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

bool IsFileOrFree(const std::string& outputPath, std::string& reason)
{
    struct stat st
    {
    };
    if (::stat(outputPath.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return true;
    const char* what = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISFIFO(st.st_mode) ? "a FIFO"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "something other than a file";
    reason =
        "Cannot write '" + outputPath + "': " + what + " is there, not a file; it is left as it is";
    return false;
}
