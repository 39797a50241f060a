// The input's sound stream for an output that takes sound. FFmpeg's choice
// passes over a sound stream whose rate or channels are unknown (a damaged
// header), and a video would then be written without its sound and count as
// converted.
#pragma once

#include <string>

struct AVFormatContext;

// The index of the sound stream to convert: FFmpeg's best, else any sound
// stream it can decode. -1 with the reason (one line naming the input) when
// the input holds sound but none of it can be used; -1 with an empty reason
// when it holds none.
int ChooseSoundStream(const AVFormatContext* input, const std::string& inputPath,
                      std::string& reason);
