// Stream and encoder set-up: which input streams are converted, their
// decoders, and their encoders chosen by the command line and the container
// and opened with settings they take. Its result is one pipeline per stream.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>
#include <string>

#include "tool/CodecChoice.h"
#include "tool/CodecContext.h"
#include "tool/OutputMuxer.h"
#include "tool/StreamPipeline.h"
#include "tool/ToolOptions.h"

class TStreamSetup
{
public:
    TStreamSetup(const TToolOptions& options, AVFormatContext* input, const TOutputMuxer& output)
        : m_options(options), m_input(input), m_output(output)
    {}

    // The input streams to convert (-1: none of that kind): the best picture
    // stream that is no attached cover, the best sound stream. False with
    // the one-line reason when there is neither.
    bool ChooseStreams(int& videoIndex, int& audioIndex, std::string& error) const;
    // The pipeline of a sound or picture stream of the input, its decoder and
    // encoder open and its graph built. Nullptr with the one-line reason.
    std::unique_ptr<TStreamPipeline> Audio(AVStream* in, std::string& error) const;
    std::unique_ptr<TStreamPipeline> Video(AVStream* in, std::string& error) const;

private:
    TCodecContext OpenDecoder(AVStream* in, std::string& error) const;
    std::int64_t StartOffset(const AVStream* in) const;
    bool ResolveEncoder(AVMediaType type, TEncoderChoice& choice, std::string& error) const;
    TCodecContext OpenAudioEncoder(const AVCodecContext* dec, const AVStream* in,
                                   const TEncoderChoice& choice, std::string& error) const;
    TCodecContext VideoEncoder(const AVStream* in, const AVCodecContext* dec,
                               const TEncoderChoice& choice, AVRational& frameRate,
                               std::string& error) const;

    const TToolOptions& m_options;
    AVFormatContext* m_input;
    const TOutputMuxer& m_output;
};
