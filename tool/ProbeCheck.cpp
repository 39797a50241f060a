#include "tool/ProbeCheck.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include "tool/LibraryError.h"

bool RecognisedWithoutHint(const std::string& path, const std::string& name,
                           const std::string& demuxer, std::string& reason)
{
    AVIOContext* io = nullptr;
    const std::string url = "file:" + path;
    const AVInputFormat* format = nullptr;
    int rc = avio_open(&io, url.c_str(), AVIO_FLAG_READ);
    if (rc >= 0) {
        // The guess is made as when the file is opened by its own name.
        rc = av_probe_input_buffer2(io, &format, name.empty() ? path.c_str() : name.c_str(),
                                    nullptr, 0, 0);
        avio_closep(&io);
    }
    const std::string prefix = "the finished file is too short or too damaged to be recognised";
    if (rc < 0) {
        reason = prefix + ": " + ErrorText(rc);
        return false;
    }
    const AVInputFormat* wanted = demuxer.empty() ? nullptr : av_find_input_format(demuxer.c_str());
    if (wanted && format != wanted) {
        reason = prefix + " as " + demuxer + " (it looks like " +
                 (format ? format->name : "nothing known") + ")";
        return false;
    }
    return true;
}
