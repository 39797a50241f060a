#include "tool/VideoSettings.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

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

}  // namespace

void ChooseVideoSettings(const AVCodec* codec, const AVCodecContext* dec,
                         const TToolOptions& options, TVideoChoice& choice)
{
    choice.PixelFormat = ChoosePixelFormat(codec, dec);
    choice.Size = ChooseFrameSize(codec, dec, options, choice.PixelFormat);
    choice.FrameRate = ChooseFrameRate(codec, dec, options);
}

void ApplyVideoQuality(AVCodecContext* enc, const TToolOptions& options, const std::string& muxer)
{
    const std::string encName = enc->codec->name;
    const bool isX264 = encName == "libx264";
    if (options.VideoBitRate.IsGiven()) {
        enc->bit_rate = options.VideoBitRate.Value;
    } else if (options.SameQuality > 0 ||
               options.VideoBitRate.State == TSettingState::SameAsInput) {
        // Near-transparent constant quality.
        if (isX264) {
            av_opt_set(enc->priv_data, "crf", "18", 0);
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
