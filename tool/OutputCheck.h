// The check of a finished output before it gets its real name: the file must
// be recognised as media by its content and name (see ProbeCheck.h), and
// is opened again as its container and its packets are read back.
// Every stream it should hold must have packets that decode to at least one
// frame, and decode cleanly (see FirstFrame.h), and each kind of stream must
// last as long as what its encoder was fed. Attached pictures are no timed
// streams: a cover that was written must be there whole. The sound of a file
// of sound alone whose packets were decoded on their way into the muxer (see
// WrittenSound.h) is not decoded again when the file gives back the same
// packets; otherwise it is decoded whole from the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/WrittenSound.h"

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

// How the sound of a file of sound alone was judged.
enum class TReadBackDecode
{
    Whole,  // decoded from the file
    Beside  // by the check beside the encode: the file gave back what was written
};

// False with the reason (one line, without the file's name) when the file at
// path does not hold what was written into it. demuxer (see ReadBackDemuxer)
// reads the container back; finalName is the name the file will take (empty:
// path). written: what was decoded of the sound stream's packets on their
// way into the file (nullptr: nothing); decode (if given) gets how the sound
// was judged.
bool CheckFinishedOutput(const std::string& path, const std::string& demuxer,
                         const std::vector<TExpectedStream>& expected, std::string& reason,
                         const std::string& finalName = {}, const TWrittenSound* written = nullptr,
                         TReadBackDecode* decode = nullptr);
