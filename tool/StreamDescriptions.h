// The descriptions of the input and of the output the tool prints before it
// converts: one block each, in the layout of the 2007 converters.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <string>

#include "tool/StreamPipeline.h"

// Codec names as converters printed them in 2007.
std::string PrintedCodecName(AVCodecID id);

// "Input #0, mp3, from 'in.mp3':", the duration line and one line per stream.
std::string InputBlock(const AVFormatContext* input, const std::string& path);

// "Output #0, mp3, to 'out.mp3':", one line per stream (the cover picture
// copied from coverInput into coverOutput last, when there is one), the
// stream mapping and the line that invites a stop.
std::string OutputBlock(const AVOutputFormat* format, const std::string& path,
                        const TPipelines& pipelines, const AVStream* coverInput = nullptr,
                        const AVStream* coverOutput = nullptr);
