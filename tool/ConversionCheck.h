// The two checks that make a conversion's success a checked one: the input
// yielded what it declares (else it is damaged, and a short output would pass
// for the whole file), and the finished file reads back as long as what its
// encoders were fed (see OutputCheck.h).
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <optional>
#include <string>

#include "tool/StreamPipeline.h"
#include "tool/ToolOptions.h"
#include "tool/WrittenSound.h"

// The duration the input declares for stream in: a WAV's header's, its own,
// or the file's; 0 when only an estimate from the bit rate is known (wrong
// for files of variable bit rate without a header).
double DeclaredSeconds(const AVFormatContext* input, const AVStream* in,
                       const std::string& inputPath);

// False with the one-line reason when a stream gave nothing, or well under
// what the input declares for it, or nothing was left to encode.
bool CheckWhatWasRead(const AVFormatContext* input, const TPipelines& pipelines,
                      const TToolOptions& options, std::string& error);

// False with the one-line reason when the file at temporaryPath, written by
// format, does not hold what its encoders were fed, or not the cover picture
// of coverBytes bytes written into it (0: none). written: what the check
// beside the encode found of its sound (see WrittenSound.h), if it ran.
bool CheckFinishedFile(const std::string& temporaryPath, const AVOutputFormat* format,
                       const TPipelines& pipelines, std::int64_t coverBytes,
                       const std::optional<TWrittenSound>& written, const std::string& outputPath,
                       std::string& error);
