#include "tool/ConversionCheck.h"

#include <cstring>
#include <vector>

#include "tool/DurationAccount.h"
#include "tool/OutputCheck.h"
#include "tool/ReportFile.h"
#include "tool/WavHeader.h"

double DeclaredSeconds(const AVFormatContext* input, const AVStream* in,
                       const std::string& inputPath)
{
    // A WAV's header states its length better than what is left of a cut file.
    TWavHeader wav;
    if (std::strcmp(input->iformat->name, "wav") == 0 && wav.Read(inputPath))
        return wav.StatedSeconds();
    if (input->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return 0;
    if (in->duration != AV_NOPTS_VALUE && in->duration > 0)
        return static_cast<double>(in->duration) * av_q2d(in->time_base);
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        return static_cast<double>(input->duration) / AV_TIME_BASE;
    return 0;
}

namespace {

// $FFMOD_CHECK_DECODES names a file that gets how the finished file's sound
// was judged: "beside" when the check beside the encode stood in for
// decoding it on read-back, "read back" when it was decoded from the file.
// The tests see which way was taken without a console line more.
void ReportReadBackDecode(TReadBackDecode decode)
{
    WriteReportFile("FFMOD_CHECK_DECODES",
                    decode == TReadBackDecode::Beside ? "beside\n" : "read back\n");
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
        const double declared = DeclaredSeconds(input, pipeline->Input(), options.InputPath);
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
                       const TPipelines& pipelines, std::int64_t coverBytes,
                       const std::optional<TWrittenSound>& written, const std::string& outputPath,
                       std::string& error)
{
    std::vector<TExpectedStream> expected;
    for (const auto& pipeline : pipelines)
        expected.push_back(
            {pipeline->Type() == AVMEDIA_TYPE_VIDEO, pipeline->Figures().Fed.Seconds()});
    if (coverBytes > 0)
        expected.push_back(TExpectedStream{.CoverBytes = coverBytes});
    std::string reason;
    TReadBackDecode decode = TReadBackDecode::Whole;
    const bool passed =
        CheckFinishedOutput(temporaryPath, ReadBackDemuxer(format->name), expected, reason,
                            outputPath, written ? &*written : nullptr, &decode);
    ReportReadBackDecode(decode);
    if (passed)
        return true;
    error = "Cannot write '" + outputPath + "': " + reason;
    return false;
}
