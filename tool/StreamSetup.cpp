#include "tool/StreamSetup.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <cmath>

#include "tool/AudioSettings.h"
#include "tool/Console.h"
#include "tool/DeviceFrame.h"
#include "tool/LibraryError.h"
#include "tool/SoundStreamChoice.h"
#include "tool/StreamDescriptions.h"
#include "tool/ThreadBudget.h"
#include "tool/VideoEncoderSpeed.h"
#include "tool/VideoSettings.h"

namespace {

// Opens encoder with codec, as an experimental one when asked.
bool OpenEncoder(AVCodecContext* encoder, const TEncoderChoice& choice)
{
    AVDictionary* opts = nullptr;
    if (choice.Experimental)
        av_dict_set(&opts, "strict", "experimental", 0);
    const int rc = avcodec_open2(encoder, choice.Codec, &opts);
    av_dict_free(&opts);
    return rc >= 0;
}

}  // namespace

bool TStreamSetup::ChooseStreams(int& videoIndex, int& audioIndex, std::string& error) const
{
    const bool wantVideo = !m_options.NoVideo && !m_output.WritesAudioOnly();
    const bool wantAudio = !m_options.NoAudio && m_output.Format()->audio_codec != AV_CODEC_ID_NONE;
    videoIndex = -1;
    audioIndex = -1;
    for (unsigned i = 0; wantVideo && i < m_input->nb_streams; ++i) {
        const AVStream* st = m_input->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            videoIndex = av_find_best_stream(m_input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
            if (videoIndex >= 0 &&
                (m_input->streams[videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC))
                videoIndex = static_cast<int>(i);
            break;
        }
    }
    if (wantAudio) {
        audioIndex = ChooseSoundStream(m_input, m_options.InputPath, error);
        if (!error.empty())
            return false;
    }
    if (videoIndex >= 0 || audioIndex >= 0)
        return true;
    error = "'" + m_options.InputPath + "': no " +
            std::string(wantVideo ? "audio or video" : "audio") + " stream to write into '" +
            m_options.OutputPath + "'";
    return false;
}

TCodecContext TStreamSetup::OpenDecoder(AVStream* in, std::string& error) const
{
    const std::string stream = "stream #0." + std::to_string(in->index);
    const AVCodec* decoder = avcodec_find_decoder(in->codecpar->codec_id);
    if (!decoder) {
        error = "'" + m_options.InputPath + "': no decoder for " + stream + " (" +
                PrintedCodecName(in->codecpar->codec_id) + ")";
        return nullptr;
    }
    TCodecContext dec(avcodec_alloc_context3(decoder));
    if (!dec) {
        error = "Out of memory";
        return nullptr;
    }
    avcodec_parameters_to_context(dec.get(), in->codecpar);
    dec->pkt_timebase = in->time_base;
    // A picture decoder takes the run's share of the processors. A sound
    // decoder keeps one thread: it is cheap beside any encoder, and its frame
    // threads (FLAC's, ALAC's) only cost switches the encoders' threads pay for
    // (FLAC to MP3 on two threads: 5.4 against 5.9 CPU s).
    dec->thread_count = in->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ? 1 : EncoderThreadCount();
    if (in->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        dec->framerate = SourceFrameRate(m_input, in);
    const int rc = avcodec_open2(dec.get(), decoder, nullptr);
    if (rc < 0) {
        error = "'" + m_options.InputPath + "': cannot decode " + stream + ": " + ErrorText(rc);
        return nullptr;
    }
    return dec;
}

// The file's start in the time base of stream in: decoded frames are timed
// from there.
std::int64_t TStreamSetup::StartOffset(const AVStream* in) const
{
    if (m_input->start_time == AV_NOPTS_VALUE)
        return 0;
    return av_rescale_q(m_input->start_time, AVRational{1, AV_TIME_BASE}, in->time_base);
}

bool TStreamSetup::ResolveEncoder(AVMediaType type, TEncoderChoice& choice,
                                  std::string& error) const
{
    const bool audio = type == AVMEDIA_TYPE_AUDIO;
    const std::string& given = audio ? m_options.AudioCodec : m_options.VideoCodec;
    const TContainer* container = m_output.Container();
    const char* usual =
        container ? (audio ? container->AudioEncoder : container->VideoEncoder) : nullptr;
    const std::string asked = given.empty() ? std::string(usual ? usual : "") : given;
    const std::string kind = audio ? "audio" : "video";
    const AVOutputFormat* format = m_output.Format();
    if (asked.empty()) {
        choice.Codec = avcodec_find_encoder(audio ? format->audio_codec : format->video_codec);
        if (!choice.Codec) {
            error = "No " + kind + " encoder for '" + m_options.OutputPath + "'";
            return false;
        }
    } else if (!ChooseEncoder(asked, type, choice, error)) {
        return false;
    }
    if (avformat_query_codec(format, choice.Codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        error = "The " + kind + " codec " + choice.Codec->name + " cannot be stored in '" +
                m_options.OutputPath + "'";
        return false;
    }
    return true;
}

std::unique_ptr<TStreamPipeline> TStreamSetup::Audio(AVStream* in, std::string& error) const
{
    TCodecContext dec = OpenDecoder(in, error);
    TEncoderChoice choice;
    if (!dec || !ResolveEncoder(AVMEDIA_TYPE_AUDIO, choice, error))
        return nullptr;
    TCodecContext enc = OpenAudioEncoder(dec.get(), in, choice, error);
    if (!enc)
        return nullptr;
    auto pipeline = std::make_unique<TStreamPipeline>(in, std::move(dec), std::move(enc),
                                                      AVRational{25, 1}, StartOffset(in));
    if (!pipeline->BuildGraph()) {
        error = pipeline->Error();
        return nullptr;
    }
    return pipeline;
}

// The sound encoder, opened at the chosen bit rate or, when it takes none
// there, at the nearest one it does take.
TCodecContext TStreamSetup::OpenAudioEncoder(const AVCodecContext* dec, const AVStream* in,
                                             const TEncoderChoice& choice, std::string& error) const
{
    const AVCodec* codec = choice.Codec;
    const std::string encName = codec->name;
    TAudioChoice audio;
    ChooseAudioSettings(codec, dec, in, m_options, m_output.ChosenMuxer(), audio);
    const int rate = audio.SampleRate;
    for (std::int64_t tryRate : AudioBitRateTries(audio.BitRate)) {
        TCodecContext enc(avcodec_alloc_context3(codec));
        if (!enc) {
            error = "Out of memory";
            return nullptr;
        }
        enc->sample_rate = rate;
        av_channel_layout_copy(&enc->ch_layout, &audio.Layout);
        enc->sample_fmt = audio.Format;
        enc->time_base = AVRational{1, rate};
        enc->thread_count = EncoderThreadCount();
        if (tryRate > 0 || audio.Whole)
            enc->bit_rate = tryRate;  // a whole sound has none, not the 128k default
        if (audio.UseQuality) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(std::lround(audio.Quality * FF_QP2LAMBDA));
        }
        if (m_output.Format()->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (!OpenEncoder(enc.get(), choice))
            continue;
        if (tryRate != audio.BitRate)
            WriteLine("Audio bit rate " + Kbit(audio.BitRate) + " kb/s is outside what " + encName +
                      " codes at " + std::to_string(rate) + " Hz with " +
                      std::to_string(audio.Channels) + " channel(s): using " +
                      (tryRate ? Kbit(tryRate) + " kb/s" : std::string("its default")));
        return enc;
    }
    error = "Error while opening encoder " + encName + " for '" + m_options.OutputPath +
            "': unsupported settings";
    return nullptr;
}

std::unique_ptr<TStreamPipeline> TStreamSetup::Video(AVStream* in, std::string& error) const
{
    TCodecContext dec = OpenDecoder(in, error);
    TEncoderChoice choice;
    if (!dec || !ResolveEncoder(AVMEDIA_TYPE_VIDEO, choice, error))
        return nullptr;
    AVRational frameRate{25, 1};
    TCodecContext enc = VideoEncoder(in, dec.get(), choice, frameRate, error);
    if (!enc)
        return nullptr;
    auto pipeline = std::make_unique<TStreamPipeline>(in, std::move(dec), std::move(enc), frameRate,
                                                      StartOffset(in));
    // The graph first: its output fixes the aspect ratio the encoder is told.
    if (!pipeline->BuildGraph()) {
        error = pipeline->Error();
        return nullptr;
    }
    AVCodecContext* encoder = pipeline->Encoder();
    encoder->sample_aspect_ratio = pipeline->Graph().SampleAspectRatio();
    encoder->time_base = pipeline->Graph().TimeBase();
    if (!OpenEncoder(encoder, choice)) {
        error = "Error while opening encoder " + std::string(choice.Codec->name) + " for '" +
                m_options.OutputPath + "': unsupported settings";
        return nullptr;
    }
    return pipeline;
}

// The picture encoder with its settings, not yet open.
TCodecContext TStreamSetup::VideoEncoder(const AVStream* in, const AVCodecContext* dec,
                                         const TEncoderChoice& choice, AVRational& frameRate,
                                         std::string& error) const
{
    const AVCodec* codec = choice.Codec;
    TVideoChoice video;
    ChooseVideoSettings(codec, dec, m_options, video);
    // A device's frame, and the pixel shape that keeps the input's aspect.
    // (The stream's aspect, as players take it, before the decoder's.)
    const AVRational inSar =
        in->sample_aspect_ratio.num > 0 ? in->sample_aspect_ratio : dec->sample_aspect_ratio;
    const TPictureShape shape = ShapePicture(m_output.Format()->name, codec->id, dec->width,
                                             dec->height, inSar, m_options.FrameSize.IsGiven(),
                                             video.Size.Width, video.Size.Height, video.FrameRate);
    if (!shape.Note.empty())
        WriteLine(shape.Note);
    video.Size = TFrameSize{shape.Width, shape.Height};
    video.FrameRate = shape.FrameRate;
    frameRate = video.FrameRate;
    TCodecContext enc(avcodec_alloc_context3(codec));
    if (!enc) {
        error = "Out of memory";
        return nullptr;
    }
    enc->width = video.Size.Width;
    enc->height = video.Size.Height;
    enc->pix_fmt = video.PixelFormat;
    enc->framerate = video.FrameRate;
    enc->sample_aspect_ratio = shape.SampleAspect;  // the graph's output is shown so
    enc->time_base = av_inv_q(video.FrameRate);
    enc->thread_count = EncoderThreadCount();
    if (choice.Tag)
        enc->codec_tag = choice.Tag;
    const AVOutputFormat* format = m_output.Format();
    if (!m_options.VideoTag.empty()) {
        const std::string& t = m_options.VideoTag;
        const unsigned tag = MKTAG(t[0], t[1], t[2], t[3]);
        const AVCodecTag* const* tags = format->codec_tag;
        if (!tags || av_codec_get_id(tags, tag) == codec->id)
            enc->codec_tag = tag;
        else
            WriteLine("The tag " + t + " does not fit " + codec->name + " in '" +
                      m_options.OutputPath + "': the usual tag is written");
    }
    ApplyVideoQuality(enc.get(), m_options, m_output.ChosenMuxer());
    ApplyVideoEncoderSpeed(enc.get(), enc->thread_count);
    if (format->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return enc;
}
