#include "tool/StreamDescriptions.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cctype>

#include "tool/Console.h"

namespace {

std::string InputStreamLine(const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    std::string description;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        description = FormatAudioDescription(PrintedCodecName(par->codec_id), par->sample_rate,
                                             par->ch_layout.nb_channels, par->bit_rate);
    } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
        AVRational rate = st->r_frame_rate.num ? st->r_frame_rate : st->avg_frame_rate;
        description = FormatVideoDescription(PrintedCodecName(par->codec_id), pix ? pix : "",
                                             par->width, par->height, par->sample_aspect_ratio.num,
                                             par->sample_aspect_ratio.den, par->bit_rate,
                                             rate.den ? av_q2d(rate) : 0.0);
    } else {
        const char* type = av_get_media_type_string(par->codec_type);
        description = std::string(type ? type : "Data") + ": " + PrintedCodecName(par->codec_id);
        description[0] = static_cast<char>(std::toupper(description[0]));
    }
    return "    Stream #0." + std::to_string(st->index) + ": " + description + "\r\n";
}

std::string OutputStreamLine(const TStreamPipeline& pipeline)
{
    const AVCodecContext* enc = pipeline.Encoder();
    std::string description;
    if (pipeline.Type() == AVMEDIA_TYPE_AUDIO) {
        description = FormatAudioDescription(enc->codec->name, enc->sample_rate,
                                             enc->ch_layout.nb_channels, enc->bit_rate);
    } else {
        const bool qscale = enc->flags & AV_CODEC_FLAG_QSCALE;
        description = FormatVideoDescription(
            enc->codec->name, av_get_pix_fmt_name(enc->pix_fmt), enc->width, enc->height,
            enc->sample_aspect_ratio.num, enc->sample_aspect_ratio.den, qscale ? 0 : enc->bit_rate,
            av_q2d(pipeline.FrameRate()));
        if (qscale)
            description += ", q=2";
    }
    return "    Stream #0." + std::to_string(pipeline.OutputIndex()) + ": " + description + "\r\n";
}

// A copied cover: "Video: png, rgb24, 300x300 (attached pic)".
std::string CoverStreamLine(const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    return "    Stream #0." + std::to_string(st->index) + ": " +
           FormatVideoDescription(PrintedCodecName(par->codec_id), pix ? pix : "", par->width,
                                  par->height, 0, 0, 0, 0) +
           " (attached pic)\r\n";
}

}  // namespace

std::string PrintedCodecName(AVCodecID id)
{
    const std::string name = avcodec_get_name(id);
    if (name == "flv1")
        return "flv";
    return name;
}

std::string InputBlock(const AVFormatContext* input, const std::string& path)
{
    std::string block =
        "Input #0, " + std::string(input->iformat->name) + ", from '" + path + "':\r\n";
    block += FormatDurationLine(input->duration == AV_NOPTS_VALUE ? kNoValue : input->duration,
                                input->start_time == AV_NOPTS_VALUE ? kNoValue : input->start_time,
                                input->bit_rate);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        block += InputStreamLine(input->streams[i]);
    return block;
}

std::string OutputBlock(const AVOutputFormat* format, const std::string& path,
                        const TPipelines& pipelines, const AVStream* coverInput,
                        const AVStream* coverOutput)
{
    const auto mapping = [](int from, int to) {
        return "  Stream #0." + std::to_string(from) + " -> #0." + std::to_string(to) + "\r\n";
    };
    std::string block = "Output #0, " + std::string(format->name) + ", to '" + path + "':\r\n";
    for (const auto& pipeline : pipelines)
        block += OutputStreamLine(*pipeline);
    if (coverInput && coverOutput)
        block += CoverStreamLine(coverOutput);
    block += "Stream mapping:\r\n";
    for (const auto& pipeline : pipelines)
        block += mapping(pipeline->Input()->index, pipeline->OutputIndex());
    if (coverInput && coverOutput)
        block += mapping(coverInput->index, coverOutput->index);
    block += "Press [q] to stop encoding\r\n";
    return block;
}
