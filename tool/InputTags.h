// The input's own tags as an output takes them: an Ogg file keeps its
// Vorbis comments on its sound stream, most other containers on the file.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

// Adds to tags the container's tags, then those of the chosen sound stream
// (nullptr: none) where the container has none of that name, leaving out
// what the demuxers and muxers add of their own (brands, encoders, handler
// names, statistics).
void CollectInputTags(const AVFormatContext* input, const AVStream* sound, AVDictionary** tags);
