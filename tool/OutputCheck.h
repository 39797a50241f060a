// The check of a finished output before it gets its real name: the file must
// be recognised as media by its content and name (see ProbeCheck.h), and
// is opened again as its container and its packets are read back (not decoded).
// Every stream it should hold must have packets that decode to at least one
// frame (see FirstFrame.h), and each kind of stream must
// last as long as what its encoder was fed. Attached pictures are no timed
// streams: a cover that was written must be there whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TExpectedStream
{
    bool Video = false;     // else audio
    double FedSeconds = 0;  // what its encoder was fed
    // Above 0: not a timed stream but a cover picture of that many bytes
    // (an attached picture, or a METADATA_BLOCK_PICTURE comment of Ogg).
    std::int64_t CoverBytes = 0;
};

// The demuxer that reads back what the named muxer writes ("ipod" -> "mov",
// "dvd" -> "mpeg"); empty when the file's content must tell.
std::string ReadBackDemuxer(const std::string& muxer);

// False with the reason (one line, without the file's name) when the file at
// path does not hold what was written into it. demuxer (see ReadBackDemuxer)
// reads the container back; finalName is the name the file will take (empty:
// path).
bool CheckFinishedOutput(const std::string& path, const std::string& demuxer,
                         const std::vector<TExpectedStream>& expected, std::string& reason,
                         const std::string& finalName = {});
