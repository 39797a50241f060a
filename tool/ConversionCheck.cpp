#include "tool/ConversionCheck.h"

#include <vector>

#include "tool/DurationAccount.h"
#include "tool/OutputCheck.h"

namespace {

// The duration the input declares for stream in: its own, or the file's; 0
// when only an estimate from the bit rate is known (wrong for files of
// variable bit rate without a header).
double DeclaredSeconds(const AVFormatContext* input, const AVStream* in)
{
    if (input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return 0;
    if (in->duration != AV_NOPTS_VALUE && in->duration > 0)
        return static_cast<double>(in->duration) * av_q2d(in->time_base);
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        return static_cast<double>(input->duration) / AV_TIME_BASE;
    return 0;
}

}  // namespace

bool CheckWhatWasRead(const AVFormatContext* input, const TPipelines& pipelines,
                      const TToolOptions& options, std::string& error)
{
    for (const auto& pipeline : pipelines) {
        const bool audio = pipeline->Type() == AVMEDIA_TYPE_AUDIO;
        const std::string kind = audio ? "audio" : "video";
        const TStreamFigures& done = pipeline->Figures();
        if (done.Decoded.IsEmpty()) {
            error = "'" + options.InputPath + "': damaged input: no " + kind + " could be read";
            return false;
        }
        if (done.Fed.IsEmpty()) {
            error = "Cannot write '" + options.OutputPath + "': no " + kind + " was left to encode";
            return false;
        }
        const double declared = DeclaredSeconds(input, pipeline->Input());
        // Sound is counted sample by sample, so frames lost anywhere count;
        // pictures by the stretch they cover, as their durations are often
        // unknown.
        const double read = audio ? done.DecodedSamples : done.Decoded.Seconds();
        if (ReadFallsShort(read, declared)) {
            error = "'" + options.InputPath + "': " + ShortReadReason(read, declared);
            return false;
        }
    }
    return true;
}

bool CheckFinishedFile(const std::string& temporaryPath, const AVOutputFormat* format,
                       const TPipelines& pipelines, const std::string& outputPath,
                       std::string& error)
{
    std::vector<TExpectedStream> expected;
    for (const auto& pipeline : pipelines)
        expected.push_back(
            {pipeline->Type() == AVMEDIA_TYPE_VIDEO, pipeline->Figures().Fed.Seconds()});
    std::string reason;
    if (CheckFinishedOutput(temporaryPath, ReadBackDemuxer(format->name), expected, reason,
                            outputPath))
        return true;
    error = "Cannot write '" + outputPath + "': " + reason;
    return false;
}
