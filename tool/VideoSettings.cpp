#include "tool/VideoSettings.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <climits>
#include <cmath>

#include "tool/Console.h"
#include "tool/EncoderLimits.h"
#include "tool/OptionBounds.h"

namespace {

// 4:2:0 wherever the encoder has it, so that players can show it.
AVPixelFormat ChoosePixelFormat(const AVCodec* codec, const AVCodecContext* dec)
{
    AVPixelFormat pixFmt = dec->pix_fmt;
    if (codec->pix_fmts) {
        bool has420 = false;
        bool hasInput = false;
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
            has420 = has420 || *p == AV_PIX_FMT_YUV420P;
            hasInput = hasInput || *p == dec->pix_fmt;
        }
        if (has420)
            pixFmt = AV_PIX_FMT_YUV420P;
        else if (!hasInput)
            pixFmt = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, dec->pix_fmt, 0, nullptr);
    }
    if (pixFmt == AV_PIX_FMT_NONE)
        pixFmt = AV_PIX_FMT_YUV420P;
    return pixFmt;
}

TFrameSize ChooseFrameSize(const AVCodec* codec, const AVCodecContext* dec,
                           const TToolOptions& options, AVPixelFormat pixFmt)
{
    const std::string encName = codec->name;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixFmt);
    const bool even = desc && (desc->log2_chroma_w > 0 || desc->log2_chroma_h > 0);
    TFrameSize size =
        options.FrameSize.IsGiven() ? options.FrameSize.Value : TFrameSize{dec->width, dec->height};
    const TFrameSize fitted = NearestFrameSize(encName, size, even);
    if (fitted.Width != size.Width || fitted.Height != size.Height)
        WriteLine("Frame size " + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                  " is not supported by " + encName + ": using " + std::to_string(fitted.Width) +
                  "x" + std::to_string(fitted.Height));
    return fitted;
}

std::string RateText(AVRational rate)
{
    return FrameRateText({rate.num, rate.den});
}

AVRational ChooseFrameRate(const AVCodec* codec, const AVCodecContext* dec,
                           const TToolOptions& options)
{
    const std::string encName = codec->name;
    AVRational rate = dec->framerate;
    if (options.FrameRate.IsGiven()) {
        std::string note;
        const TFrameRate bounded = BoundedFrameRate(options.FrameRate.Value, encName, note);
        if (!note.empty())
            WriteLine(note);
        rate = AVRational{bounded.Num, bounded.Den};
    }
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 240)
        rate = AVRational{25, 1};
    AVRational fittedRate = rate;
    if (codec->supported_framerates)
        fittedRate =
            codec->supported_framerates[av_find_nearest_q_idx(rate, codec->supported_framerates)];
    if ((codec->id == AV_CODEC_ID_MPEG4 || codec->id == AV_CODEC_ID_H263 ||
         codec->id == AV_CODEC_ID_FLV1 || codec->id == AV_CODEC_ID_WMV2) &&
        fittedRate.num > 65535)
        av_reduce(&fittedRate.num, &fittedRate.den, fittedRate.num, fittedRate.den, 65535);
    if (av_cmp_q(fittedRate, rate) != 0)
        WriteLine("Frame rate " + RateText(rate) + " is not supported by " + encName + ": using " +
                  RateText(fittedRate));
    return fittedRate;
}

// A rate as exact as a thousandth of a frame a second, or the NTSC rate it is
// near: an average of variable frame times is rarely a tidy fraction.
AVRational TidyFrameRate(AVRational rate)
{
    static const AVRational kUsual[] = {{24000, 1001}, {30000, 1001}, {60000, 1001}};
    for (const AVRational& usual : kUsual) {
        if (std::fabs(av_q2d(rate) / av_q2d(usual) - 1) < 0.001)
            return usual;
    }
    AVRational tidy{};
    av_reduce(&tidy.num, &tidy.den, std::llround(av_q2d(rate) * 1000), 1000, INT_MAX);
    return tidy;
}

}  // namespace

AVRational SourceFrameRate(AVFormatContext* input, AVStream* stream)
{
    const AVRational guessed = av_guess_frame_rate(input, stream, nullptr);
    const AVRational average = stream->avg_frame_rate;
    if (average.num <= 0 || average.den <= 0 || guessed.num <= 0 || guessed.den <= 0)
        return guessed;
    // Frame times that vary (a phone's or a screen recording's): their
    // average, not the finest rate they are timed in, which would repeat
    // pictures to fill every step of it.
    if (std::fabs(av_q2d(average) / av_q2d(guessed) - 1) > 0.01)
        return TidyFrameRate(average);
    return guessed;
}

void ChooseVideoSettings(const AVCodec* codec, const AVCodecContext* dec,
                         const TToolOptions& options, TVideoChoice& choice)
{
    choice.PixelFormat = ChoosePixelFormat(codec, dec);
    choice.Size = ChooseFrameSize(codec, dec, options, choice.PixelFormat);
    choice.FrameRate = ChooseFrameRate(codec, dec, options);
}

const char* ConstantQualityFactor(const std::string& encoder)
{
    // Each as sharp as x264's CRF 18 (see docs/ffmod.md for how they were
    // matched), so that the picture looks like the input's.
    static const char* const kFactors[][2] = {
        {"libx264", "18"},
        {"libvpx-vp9", "23"},
        {"libx265", "20"},
        {"libsvtav1", "27"},
    };
    for (const auto& factor : kFactors) {
        if (encoder == factor[0])
            return factor[1];
    }
    return nullptr;
}

void ApplyVideoQuality(AVCodecContext* enc, const TToolOptions& options, const std::string& muxer)
{
    const std::string encName = enc->codec->name;
    if (options.VideoBitRate.IsGiven()) {
        // A target bit rate: VP9's, x265's and SVT-AV1's rate control aim at it.
        enc->bit_rate = options.VideoBitRate.Value;
    } else if (options.SameQuality > 0 ||
               options.VideoBitRate.State == TSettingState::SameAsInput) {
        // Near-transparent constant quality.
        if (const char* factor = ConstantQualityFactor(encName)) {
            av_opt_set(enc->priv_data, "crf", factor, 0);
            enc->bit_rate = 0;  // VP9: a CRF without a bit rate is constant quality
        } else {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = 2 * FF_QP2LAMBDA;
        }
    }
    if (muxer == "dvd") {
        enc->gop_size = 15;
        enc->max_b_frames = 2;
    }
}
