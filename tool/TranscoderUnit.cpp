#include "TranscoderUnit.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "AudioSettingsUnit.h"
#include "CodecChoiceUnit.h"
#include "ConsoleUnit.h"
#include "DurationAccountUnit.h"
#include "EncoderLimitsUnit.h"
#include "LibraryErrorUnit.h"
#include "LibraryLogUnit.h"
#include "OptionBoundsUnit.h"
#include "OutputCheckUnit.h"
#include "OutputFileUnit.h"
#include "OutputTargetUnit.h"
#include "TimestampGapUnit.h"
#include "VideoSettingsUnit.h"

#include "base/AsciiCase.h"

namespace {

std::string ExtensionOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return AsciiLowerCase(path.substr(dot + 1));
}

// Codec names as converters printed them in 2007.
std::string PrintedCodecName(AVCodecID id)
{
    const std::string name = avcodec_get_name(id);
    if (name == "flv1")
        return "flv";
    return name;
}

// ---------------------------------------------------------------------------

struct TLink
{
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
    AVStream* In = nullptr;
    AVStream* Out = nullptr;
    AVCodecContext* Dec = nullptr;
    AVCodecContext* Enc = nullptr;
    AVFilterGraph* Graph = nullptr;
    AVFilterContext* Src = nullptr;
    AVFilterContext* Sink = nullptr;
    std::string FilterSpec;
    // Input parameters the graph was built for; a change rebuilds it.
    int SrcWidth = 0, SrcHeight = 0, SrcFormat = -1, SrcRate = 0, SrcChannels = 0;
    std::int64_t StartOffset = 0;  // subtracted from input timestamps
    std::int64_t NextAudioPts = AV_NOPTS_VALUE;
    std::int64_t LastVideoPts = AV_NOPTS_VALUE;
    std::int64_t NextEncodePts = AV_NOPTS_VALUE;  // in the encoder's time base
    AVRational FrameRate{25, 1};
    double EncodedBytes = 0;
    double EndSeconds = 0;
    TTimestampMender FrameMender{1};  // closes jumps in the decoded frames' times
    bool FrameStarted = false;
    TMediaSpan Decoded;         // media time the decoder gave, after closing jumps
    double DecodedSamples = 0;  // audio: the samples it gave, in seconds
    TMediaSpan Fed;             // media time handed to the encoder
    int Frames = 0;
    double Quality = 0;
    bool DecoderDone = false;

    ~TLink()
    {
        avfilter_graph_free(&Graph);
        avcodec_free_context(&Dec);
        avcodec_free_context(&Enc);
    }
};

class TTranscoder
{
public:
    explicit TTranscoder(const TToolOptions& options) : m_options(options) {}
    ~TTranscoder();
    int Run();

private:
    bool OpenInput();
    void PrintInputBlock() const;
    bool SetUpOutput();
    bool ResolveEncoder(AVMediaType type, TEncoderChoice& choice);
    bool AddOutputStream(std::unique_ptr<TLink> link);
    bool AddAudio(AVStream* in);
    bool AddVideo(AVStream* in);
    bool OpenDecoder(TLink& link);
    bool BuildGraph(TLink& link, const AVFrame* frame);
    bool OpenEncoder(TLink& link, AVCodecContext* enc, const AVCodec* codec, bool experimental);
    void PrintOutputBlock() const;
    bool Convert();
    bool Decode(TLink& link, const AVPacket* packet);
    bool Filter(TLink& link, AVFrame* frame);
    bool Encode(TLink& link, const AVFrame* frame);
    bool WritePacket(TLink& link, AVPacket* packet);
    void Report(bool last);
    bool Fail(const std::string& line);
    void MendTimestamps(AVPacket* packet);
    std::int64_t MendFrameTime(TLink& link, std::int64_t pts);
    double DeclaredSeconds(const TLink& link) const;
    bool CheckWhatWasRead();
    bool CheckFinishedFile();
    void SetTag(const char* key, const char* value);

    const TToolOptions& m_options;
    AVFormatContext* m_in = nullptr;
    AVFormatContext* m_out = nullptr;
    const TContainer* m_container = nullptr;
    std::vector<std::unique_ptr<TLink>> m_links;
    std::unique_ptr<TTimestampMender> m_mender;
    TOutputFile m_file;
    AVFrame* m_frame = nullptr;
    AVFrame* m_filtered = nullptr;
    AVPacket* m_packet = nullptr;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastReport;
    double m_headerBytes = 0;
};

TTranscoder::~TTranscoder()
{
    m_links.clear();
    if (m_out) {
        if (m_out->pb)
            avio_closep(&m_out->pb);
        avformat_free_context(m_out);
    }
    avformat_close_input(&m_in);
    av_frame_free(&m_frame);
    av_frame_free(&m_filtered);
    av_packet_free(&m_packet);
}

bool TTranscoder::Fail(const std::string& line)
{
    WriteLine(line);
    return false;
}

bool TTranscoder::OpenInput()
{
    const std::string& path = m_options.InputPath;
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return Fail("'" + path + "': is a folder, not a media file");
    // "file:" keeps every path a local file, whatever it looks like.
    const std::string url = "file:" + path;
    int rc = avformat_open_input(&m_in, url.c_str(), nullptr, nullptr);
    if (rc < 0)
        return Fail("'" + path + "': " + ErrorText(rc));
    rc = avformat_find_stream_info(m_in, nullptr);
    if (rc < 0)
        return Fail("'" + path + "': cannot read its streams: " + ErrorText(rc));
    return true;
}

void TTranscoder::PrintInputBlock() const
{
    std::string block = "Input #0, " + std::string(m_in->iformat->name) + ", from '" +
                        m_options.InputPath + "':\r\n";
    block += FormatDurationLine(m_in->duration == AV_NOPTS_VALUE ? kNoValue : m_in->duration,
                                m_in->start_time == AV_NOPTS_VALUE ? kNoValue : m_in->start_time,
                                m_in->bit_rate);
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        const AVStream* st = m_in->streams[i];
        const AVCodecParameters* par = st->codecpar;
        std::string description;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            description = FormatAudioDescription(PrintedCodecName(par->codec_id), par->sample_rate,
                                                 par->ch_layout.nb_channels, par->bit_rate);
        } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
            AVRational rate = st->r_frame_rate.num ? st->r_frame_rate : st->avg_frame_rate;
            description = FormatVideoDescription(
                PrintedCodecName(par->codec_id), pix ? pix : "", par->width, par->height,
                par->sample_aspect_ratio.num, par->sample_aspect_ratio.den, par->bit_rate,
                rate.den ? av_q2d(rate) : 0.0);
        } else {
            const char* type = av_get_media_type_string(par->codec_type);
            description =
                std::string(type ? type : "Data") + ": " + PrintedCodecName(par->codec_id);
            description[0] = static_cast<char>(std::toupper(description[0]));
        }
        block += "    Stream #0." + std::to_string(i) + ": " + description + "\r\n";
    }
    WriteBlock(block);
}

bool TTranscoder::OpenDecoder(TLink& link)
{
    const AVCodec* decoder = avcodec_find_decoder(link.In->codecpar->codec_id);
    if (!decoder)
        return Fail("'" + m_options.InputPath + "': no decoder for stream #0." +
                    std::to_string(link.In->index) + " (" +
                    PrintedCodecName(link.In->codecpar->codec_id) + ")");
    link.Dec = avcodec_alloc_context3(decoder);
    if (!link.Dec)
        return Fail("Out of memory");
    avcodec_parameters_to_context(link.Dec, link.In->codecpar);
    link.Dec->pkt_timebase = link.In->time_base;
    link.Dec->thread_count = 0;
    if (link.Type == AVMEDIA_TYPE_VIDEO)
        link.Dec->framerate = av_guess_frame_rate(m_in, link.In, nullptr);
    const int rc = avcodec_open2(link.Dec, decoder, nullptr);
    if (rc < 0)
        return Fail("'" + m_options.InputPath + "': cannot decode stream #0." +
                    std::to_string(link.In->index) + ": " + ErrorText(rc));
    if (m_in->start_time != AV_NOPTS_VALUE)
        link.StartOffset =
            av_rescale_q(m_in->start_time, AVRational{1, AV_TIME_BASE}, link.In->time_base);
    return true;
}

bool TTranscoder::OpenEncoder(TLink& link, AVCodecContext* enc, const AVCodec* codec,
                              bool experimental)
{
    AVDictionary* opts = nullptr;
    if (experimental)
        av_dict_set(&opts, "strict", "experimental", 0);
    const int rc = avcodec_open2(enc, codec, &opts);
    av_dict_free(&opts);
    if (rc < 0)
        return false;
    link.Enc = enc;
    return true;
}

bool TTranscoder::ResolveEncoder(AVMediaType type, TEncoderChoice& choice)
{
    const bool audio = type == AVMEDIA_TYPE_AUDIO;
    const std::string& given = audio ? m_options.AudioCodec : m_options.VideoCodec;
    const char* usual =
        m_container ? (audio ? m_container->AudioEncoder : m_container->VideoEncoder) : nullptr;
    const std::string asked = given.empty() ? std::string(usual ? usual : "") : given;
    const std::string kind = audio ? "audio" : "video";
    std::string error;
    if (asked.empty()) {
        choice.Codec =
            avcodec_find_encoder(audio ? m_out->oformat->audio_codec : m_out->oformat->video_codec);
        if (!choice.Codec)
            return Fail("No " + kind + " encoder for '" + m_options.OutputPath + "'");
    } else if (!ChooseEncoder(asked, type, choice, error)) {
        return Fail(error);
    }
    if (avformat_query_codec(m_out->oformat, choice.Codec->id, FF_COMPLIANCE_NORMAL) == 0)
        return Fail("The " + kind + " codec " + choice.Codec->name + " cannot be stored in '" +
                    m_options.OutputPath + "'");
    return true;
}

bool TTranscoder::AddOutputStream(std::unique_ptr<TLink> link)
{
    link->Out = avformat_new_stream(m_out, nullptr);
    if (!link->Out || avcodec_parameters_from_context(link->Out->codecpar, link->Enc) < 0)
        return Fail("Out of memory");
    link->Out->time_base = link->Enc->time_base;
    if (link->Type == AVMEDIA_TYPE_VIDEO) {
        link->Out->avg_frame_rate = link->FrameRate;
        link->Out->sample_aspect_ratio = link->Enc->sample_aspect_ratio;
    }
    m_headerBytes += link->Enc->extradata_size;
    m_links.push_back(std::move(link));
    return true;
}

bool TTranscoder::AddAudio(AVStream* in)
{
    auto link = std::make_unique<TLink>();
    link->Type = AVMEDIA_TYPE_AUDIO;
    link->In = in;
    if (!OpenDecoder(*link))
        return false;
    const AVCodecContext* dec = link->Dec;

    TEncoderChoice choice;
    if (!ResolveEncoder(AVMEDIA_TYPE_AUDIO, choice))
        return false;
    const AVCodec* codec = choice.Codec;
    const std::string encName = codec->name;

    TAudioChoice audio;
    ChooseAudioSettings(codec, dec, in, m_options, m_container ? m_container->Muxer : "", audio);
    const int rate = audio.SampleRate;
    const std::int64_t bitRate = audio.BitRate;
    const std::vector<std::int64_t> tries = AudioBitRateTries(bitRate);
    for (std::int64_t tryRate : tries) {
        AVCodecContext* enc = avcodec_alloc_context3(codec);
        if (!enc)
            return Fail("Out of memory");
        enc->sample_rate = rate;
        av_channel_layout_copy(&enc->ch_layout, &audio.Layout);
        enc->sample_fmt = audio.Format;
        enc->time_base = AVRational{1, rate};
        enc->thread_count = 0;
        if (tryRate > 0)
            enc->bit_rate = tryRate;
        if (audio.UseQuality) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(std::lround(audio.Quality * FF_QP2LAMBDA));
        }
        if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (OpenEncoder(*link, enc, codec, choice.Experimental)) {
            if (tryRate != bitRate)
                WriteLine("Audio bit rate " + Kbit(bitRate) + " kb/s is outside what " + encName +
                          " codes at " + std::to_string(rate) + " Hz with " +
                          std::to_string(audio.Channels) + " channel(s): using " +
                          (tryRate ? Kbit(tryRate) + " kb/s" : std::string("its default")));
            break;
        }
        avcodec_free_context(&enc);
    }
    if (!link->Enc)
        return Fail("Error while opening encoder " + encName + " for '" + m_options.OutputPath +
                    "': unsupported settings");

    if (!BuildGraph(*link, nullptr))
        return false;

    return AddOutputStream(std::move(link));
}

bool TTranscoder::AddVideo(AVStream* in)
{
    auto link = std::make_unique<TLink>();
    link->Type = AVMEDIA_TYPE_VIDEO;
    link->In = in;
    if (!OpenDecoder(*link))
        return false;
    const AVCodecContext* dec = link->Dec;

    TEncoderChoice choice;
    if (!ResolveEncoder(AVMEDIA_TYPE_VIDEO, choice))
        return false;
    const AVCodec* codec = choice.Codec;
    const std::string encName = codec->name;

    TVideoChoice video;
    ChooseVideoSettings(codec, dec, m_options, video);
    link->FrameRate = video.FrameRate;

    AVCodecContext* enc = avcodec_alloc_context3(codec);
    if (!enc)
        return Fail("Out of memory");
    enc->width = video.Size.Width;
    enc->height = video.Size.Height;
    enc->pix_fmt = video.PixelFormat;
    enc->framerate = video.FrameRate;
    enc->time_base = av_inv_q(video.FrameRate);
    enc->thread_count = 0;
    if (choice.Tag)
        enc->codec_tag = choice.Tag;
    if (!m_options.VideoTag.empty()) {
        const std::string& t = m_options.VideoTag;
        const unsigned tag = MKTAG(t[0], t[1], t[2], t[3]);
        const AVCodecTag* const* tags = m_out->oformat->codec_tag;
        if (!tags || av_codec_get_id(tags, tag) == codec->id)
            enc->codec_tag = tag;
        else
            WriteLine("The tag " + t + " does not fit " + encName + " in '" + m_options.OutputPath +
                      "': the usual tag is written");
    }
    ApplyVideoQuality(enc, m_options, m_container ? m_container->Muxer : "");
    if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // The graph first: its output fixes the aspect ratio the encoder is told.
    link->SrcWidth = 0;
    link->Enc = enc;  // BuildGraph reads the target from here
    if (!BuildGraph(*link, nullptr))
        return false;
    enc->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(link->Sink);
    enc->time_base = av_buffersink_get_time_base(link->Sink);
    link->Enc = nullptr;
    if (!OpenEncoder(*link, enc, codec, choice.Experimental)) {
        avcodec_free_context(&enc);
        return Fail("Error while opening encoder " + encName + " for '" + m_options.OutputPath +
                    "': unsupported settings");
    }

    return AddOutputStream(std::move(link));
}

// (Re)builds the filter graph of a link for the input parameters of frame,
// or of the decoder when frame is null.
bool TTranscoder::BuildGraph(TLink& link, const AVFrame* frame)
{
    const bool rebuilding = link.Graph != nullptr;
    avfilter_graph_free(&link.Graph);
    link.Graph = avfilter_graph_alloc();
    if (!link.Graph)
        return Fail("Out of memory");
    link.Graph->nb_threads = 0;
    const AVCodecContext* dec = link.Dec;
    const AVCodecContext* enc = link.Enc;
    char args[512];
    std::string spec;
    int rc = 0;

    if (link.Type == AVMEDIA_TYPE_VIDEO) {
        link.SrcWidth = frame ? frame->width : dec->width;
        link.SrcHeight = frame ? frame->height : dec->height;
        link.SrcFormat = frame ? frame->format : dec->pix_fmt;
        AVRational sar = frame ? frame->sample_aspect_ratio : dec->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0)
            sar = AVRational{0, 1};
        const AVRational inRate = dec->framerate.num > 0 ? dec->framerate : link.FrameRate;
        std::snprintf(args, sizeof args,
                      "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d:"
                      "frame_rate=%d/%d",
                      link.SrcWidth, link.SrcHeight, link.SrcFormat, link.In->time_base.num,
                      link.In->time_base.den, sar.num, sar.den, inRate.num, inRate.den);
        rc = avfilter_graph_create_filter(&link.Src, avfilter_get_by_name("buffer"), "in", args,
                                          nullptr, link.Graph);
        if (rc >= 0)
            rc = avfilter_graph_create_filter(&link.Sink, avfilter_get_by_name("buffersink"), "out",
                                              nullptr, nullptr, link.Graph);
        if (rc >= 0) {
            const AVPixelFormat formats[] = {enc->pix_fmt, AV_PIX_FMT_NONE};
            rc = av_opt_set_int_list(link.Sink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                                     AV_OPT_SEARCH_CHILDREN);
        }
        std::snprintf(args, sizeof args, "scale=%d:%d:flags=bicubic,fps=%d/%d,format=%s",
                      enc->width, enc->height, link.FrameRate.num, link.FrameRate.den,
                      av_get_pix_fmt_name(enc->pix_fmt));
        spec = args;
    } else {
        link.SrcFormat = frame ? frame->format : dec->sample_fmt;
        link.SrcRate = frame ? frame->sample_rate : dec->sample_rate;
        AVChannelLayout inLayout{};
        av_channel_layout_copy(&inLayout, frame ? &frame->ch_layout : &dec->ch_layout);
        if (inLayout.order != AV_CHANNEL_ORDER_NATIVE) {
            const int n = inLayout.nb_channels;
            av_channel_layout_uninit(&inLayout);
            av_channel_layout_default(&inLayout, n);
        }
        link.SrcChannels = inLayout.nb_channels;
        char layoutText[128] = {};
        av_channel_layout_describe(&inLayout, layoutText, sizeof layoutText);
        av_channel_layout_uninit(&inLayout);
        std::snprintf(
            args, sizeof args, "time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s",
            link.SrcRate, link.SrcRate,
            av_get_sample_fmt_name(static_cast<AVSampleFormat>(link.SrcFormat)), layoutText);
        rc = avfilter_graph_create_filter(&link.Src, avfilter_get_by_name("abuffer"), "in", args,
                                          nullptr, link.Graph);
        if (rc >= 0)
            rc = avfilter_graph_create_filter(&link.Sink, avfilter_get_by_name("abuffersink"),
                                              "out", nullptr, nullptr, link.Graph);
        char outLayout[128] = {};
        av_channel_layout_describe(&enc->ch_layout, outLayout, sizeof outLayout);
        if (rc >= 0) {
            const AVSampleFormat formats[] = {enc->sample_fmt, AV_SAMPLE_FMT_NONE};
            rc = av_opt_set_int_list(link.Sink, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                                     AV_OPT_SEARCH_CHILDREN);
        }
        if (rc >= 0) {
            const int rates[] = {enc->sample_rate, -1};
            rc = av_opt_set_int_list(link.Sink, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN);
        }
        if (rc >= 0)
            rc = av_opt_set(link.Sink, "ch_layouts", outLayout, AV_OPT_SEARCH_CHILDREN);
        // Gaps left by damaged frames are filled with silence so that sound stays
        // in step with the picture (and with the input's length).
        std::snprintf(args, sizeof args,
                      "aresample=%d:async=1%s,"
                      "aformat=sample_fmts=%s:sample_rates=%d:channel_layouts=%s",
                      enc->sample_rate, rebuilding ? "" : ":first_pts=0",
                      av_get_sample_fmt_name(enc->sample_fmt), enc->sample_rate, outLayout);
        spec = args;
    }
    if (rc < 0)
        return Fail("Cannot set up the conversion of stream #0." + std::to_string(link.In->index) +
                    ": " + ErrorText(rc));

    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        return Fail("Out of memory");
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = link.Src;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = link.Sink;
    rc = avfilter_graph_parse_ptr(link.Graph, spec.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (rc >= 0)
        rc = avfilter_graph_config(link.Graph, nullptr);
    if (rc < 0)
        return Fail("Cannot set up the conversion of stream #0." + std::to_string(link.In->index) +
                    ": " + ErrorText(rc));
    if (link.Type == AVMEDIA_TYPE_AUDIO && link.Enc && link.Enc->frame_size > 0 &&
        !(link.Enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        av_buffersink_set_frame_size(link.Sink, static_cast<unsigned>(link.Enc->frame_size));
    return true;
}

bool TTranscoder::SetUpOutput()
{
    const std::string& path = m_options.OutputPath;
    const std::string extension = ExtensionOf(path);
    m_container = FindContainer(extension);
    const AVOutputFormat* format = nullptr;
    if (m_container)
        format = av_guess_format(m_container->Muxer, nullptr, nullptr);
    else
        format = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!format)
        return Fail("Unable to find a suitable output format for '" + path + "'");
    if (avformat_alloc_output_context2(&m_out, format, nullptr, nullptr) < 0 || !m_out)
        return Fail("Out of memory");

    std::string error;
    if (!WritesOneFile(format, path, error) || !IsOtherThanInput(m_options.InputPath, path, error))
        return Fail(error);
    if (!m_file.Create(path, m_options.Overwrite, error))
        return Fail(error);

    const bool audioOnly = m_container ? m_container->VideoEncoder == nullptr
                                       : format->video_codec == AV_CODEC_ID_NONE;
    const bool wantVideo = !m_options.NoVideo && !audioOnly;
    const bool wantAudio = !m_options.NoAudio && format->audio_codec != AV_CODEC_ID_NONE;
    int videoIndex = -1;
    int audioIndex = -1;
    if (wantVideo) {
        for (unsigned i = 0; i < m_in->nb_streams; ++i) {
            const AVStream* st = m_in->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                videoIndex = av_find_best_stream(m_in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
                if (videoIndex >= 0 &&
                    (m_in->streams[videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC))
                    videoIndex = static_cast<int>(i);
                break;
            }
        }
    }
    if (wantAudio)
        audioIndex = av_find_best_stream(m_in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (videoIndex < 0 && audioIndex < 0) {
        return Fail("'" + m_options.InputPath + "': no " +
                    std::string(wantVideo ? "audio or video" : "audio") +
                    " stream to write into '" + path + "'");
    }

    // Streams keep the input's order.
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        if (static_cast<int>(i) == videoIndex && !AddVideo(m_in->streams[i]))
            return false;
        if (static_cast<int>(i) == audioIndex && !AddAudio(m_in->streams[i]))
            return false;
    }

    // Tags: the input's own, then copyright and comment of the command line.
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(m_in->metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        const std::string key = AsciiLowerCase(tag->key);
        if (key == "major_brand" || key == "minor_version" || key == "compatible_brands" ||
            key == "encoder")
            continue;
        SetTag(tag->key, tag->value);
    }
    if (m_options.Copyright)
        SetTag("copyright", m_options.Copyright->c_str());
    if (m_options.Comment)
        SetTag("comment", m_options.Comment->c_str());
    // Ogg keeps its tags in the streams' comment headers.
    if (std::strcmp(m_out->oformat->name, "ogg") == 0) {
        for (const auto& link : m_links)
            av_dict_copy(&link->Out->metadata, m_out->metadata, 0);
    }

    PrintOutputBlock();

    const std::string url = "file:" + m_file.TemporaryPath();
    int rc = avio_open(&m_out->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0)
        return Fail("Cannot write '" + path + "': " + ErrorText(rc));
    AVDictionary* muxerOptions = nullptr;
    // Program streams get the mux rate of a DVD, so that constant-quality
    // video never starves the multiplexer.
    if (std::strcmp(format->name, "dvd") == 0 || std::strcmp(format->name, "mpeg") == 0)
        av_dict_set(&muxerOptions, "muxrate", "10080000", 0);
    rc = avformat_write_header(m_out, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (rc < 0)
        return Fail("Cannot write '" + path + "': " + ErrorText(rc));
    return true;
}

// A tag of the output, cut to what the format's tag fields hold.
void TTranscoder::SetTag(const char* key, const char* value)
{
    std::string note;
    const std::string text = BoundedTagText(key, value, m_out->oformat->name, note);
    if (!note.empty())
        WriteLine(note);
    av_dict_set(&m_out->metadata, key, text.c_str(), 0);
}

void TTranscoder::PrintOutputBlock() const
{
    std::string block = "Output #0, " + std::string(m_out->oformat->name) + ", to '" +
                        m_options.OutputPath + "':\r\n";
    for (const auto& link : m_links) {
        const AVCodecContext* enc = link->Enc;
        std::string description;
        if (link->Type == AVMEDIA_TYPE_AUDIO) {
            description = FormatAudioDescription(enc->codec->name, enc->sample_rate,
                                                 enc->ch_layout.nb_channels, enc->bit_rate);
        } else {
            const bool qscale = enc->flags & AV_CODEC_FLAG_QSCALE;
            description = FormatVideoDescription(
                enc->codec->name, av_get_pix_fmt_name(enc->pix_fmt), enc->width, enc->height,
                enc->sample_aspect_ratio.num, enc->sample_aspect_ratio.den,
                qscale ? 0 : enc->bit_rate, av_q2d(link->FrameRate));
            if (qscale)
                description += ", q=2";
        }
        block += "    Stream #0." + std::to_string(link->Out->index) + ": " + description + "\r\n";
    }
    block += "Stream mapping:\r\n";
    for (const auto& link : m_links)
        block += "  Stream #0." + std::to_string(link->In->index) + " -> #0." +
                 std::to_string(link->Out->index) + "\r\n";
    block += "Press [q] to stop encoding\r\n";
    WriteBlock(block);
}

bool TTranscoder::WritePacket(TLink& link, AVPacket* packet)
{
    packet->stream_index = link.Out->index;
    link.EncodedBytes += packet->size;
    if (link.Type == AVMEDIA_TYPE_VIDEO) {
        std::size_t sideSize = 0;
        const uint8_t* stats =
            av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &sideSize);
        if (stats && sideSize >= 4) {
            const int q = stats[0] | (stats[1] << 8) | (stats[2] << 16) | (stats[3] << 24);
            link.Quality = static_cast<double>(q) / FF_QP2LAMBDA;
        }
    }
    if (packet->pts != AV_NOPTS_VALUE) {
        const double end =
            static_cast<double>(packet->pts + std::max<std::int64_t>(packet->duration, 0)) *
            av_q2d(link.Enc->time_base);
        link.EndSeconds = std::max(link.EndSeconds, end);
    }
    av_packet_rescale_ts(packet, link.Enc->time_base, link.Out->time_base);
    const int rc = av_interleaved_write_frame(m_out, packet);
    if (rc < 0)
        return Fail("Error while writing '" + m_options.OutputPath + "': " + ErrorText(rc));
    return true;
}

bool TTranscoder::Encode(TLink& link, const AVFrame* frame)
{
    int rc = avcodec_send_frame(link.Enc, frame);
    if (rc < 0 && rc != AVERROR_EOF)
        return Fail("Error while encoding for '" + m_options.OutputPath + "': " + ErrorText(rc));
    for (;;) {
        rc = avcodec_receive_packet(link.Enc, m_packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return Fail("Error while encoding for '" + m_options.OutputPath +
                        "': " + ErrorText(rc));
        const bool ok = WritePacket(link, m_packet);
        av_packet_unref(m_packet);
        if (!ok)
            return false;
    }
}

bool TTranscoder::Filter(TLink& link, AVFrame* frame)
{
    if (frame) {
        const bool changed =
            link.Type == AVMEDIA_TYPE_VIDEO
                ? frame->width != link.SrcWidth || frame->height != link.SrcHeight ||
                      frame->format != link.SrcFormat
                : frame->format != link.SrcFormat || frame->sample_rate != link.SrcRate ||
                      frame->ch_layout.nb_channels != link.SrcChannels;
        if (changed && !BuildGraph(link, frame))
            return false;
    }
    int rc = av_buffersrc_add_frame_flags(link.Src, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (rc < 0)
        return Fail("Error while converting stream #0." + std::to_string(link.In->index) + ": " +
                    ErrorText(rc));
    for (;;) {
        rc = av_buffersink_get_frame(link.Sink, m_filtered);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return Fail("Error while converting stream #0." + std::to_string(link.In->index) +
                        ": " + ErrorText(rc));
        m_filtered->pict_type = AV_PICTURE_TYPE_NONE;
        // A graph rebuilt mid-stream must not step back in time.
        if (m_filtered->pts != AV_NOPTS_VALUE && link.NextEncodePts != AV_NOPTS_VALUE &&
            m_filtered->pts < link.NextEncodePts)
            m_filtered->pts = link.NextEncodePts;
        if (m_filtered->pts != AV_NOPTS_VALUE)
            link.NextEncodePts =
                m_filtered->pts + (link.Type == AVMEDIA_TYPE_AUDIO ? m_filtered->nb_samples : 1);
        if (m_filtered->pts != AV_NOPTS_VALUE) {
            const double tb = av_q2d(link.Enc->time_base);
            const std::int64_t length =
                link.Type == AVMEDIA_TYPE_AUDIO ? m_filtered->nb_samples : 1;
            link.Fed.Add(static_cast<double>(m_filtered->pts) * tb,
                         static_cast<double>(m_filtered->pts + length) * tb);
        }
        if (link.Type == AVMEDIA_TYPE_VIDEO) {
            // Constant quality is asked for per picture.
            if (link.Enc->flags & AV_CODEC_FLAG_QSCALE)
                m_filtered->quality = link.Enc->global_quality;
            ++link.Frames;
        }
        const bool ok = Encode(link, m_filtered);
        av_frame_unref(m_filtered);
        if (!ok)
            return false;
    }
}

bool TTranscoder::Decode(TLink& link, const AVPacket* packet)
{
    int rc = avcodec_send_packet(link.Dec, packet);
    // A damaged packet is skipped, as players do; the rest of the file still counts.
    if (rc < 0 && rc != AVERROR_EOF && rc != AVERROR_INVALIDDATA && rc != AVERROR(EAGAIN))
        return Fail("Error while decoding stream #0." + std::to_string(link.In->index) + ": " +
                    ErrorText(rc));
    for (;;) {
        rc = avcodec_receive_frame(link.Dec, m_frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc == AVERROR_INVALIDDATA)
            continue;
        if (rc < 0)
            return Fail("Error while decoding stream #0." + std::to_string(link.In->index) + ": " +
                        ErrorText(rc));
        std::int64_t pts = m_frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            pts -= link.StartOffset;
            pts += MendFrameTime(link, pts);
        }
        if (link.Type == AVMEDIA_TYPE_AUDIO) {
            const AVRational tb{1, m_frame->sample_rate};
            if (pts != AV_NOPTS_VALUE)
                pts = av_rescale_q(pts, link.In->time_base, tb);
            else
                pts = link.NextAudioPts == AV_NOPTS_VALUE ? 0 : link.NextAudioPts;
            link.NextAudioPts = pts + m_frame->nb_samples;
            link.DecodedSamples += static_cast<double>(m_frame->nb_samples) / m_frame->sample_rate;
            link.Decoded.Add(static_cast<double>(pts) / m_frame->sample_rate,
                             static_cast<double>(pts + m_frame->nb_samples) / m_frame->sample_rate);
        } else {
            if (pts == AV_NOPTS_VALUE)
                pts = link.LastVideoPts == AV_NOPTS_VALUE
                          ? 0
                          : link.LastVideoPts +
                                std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(link.FrameRate),
                                                                       link.In->time_base));
            link.LastVideoPts = pts;
            const double tb = av_q2d(link.In->time_base);
            const AVRational guess = link.Dec->framerate;
            const double frame =
                m_frame->pkt_duration > 0
                    ? static_cast<double>(m_frame->pkt_duration) * tb
                    : (guess.num > 0 && guess.den > 0 ? 1.0 / av_q2d(guess) : 0.04);
            link.Decoded.Add(static_cast<double>(pts) * tb, static_cast<double>(pts) * tb + frame);
        }
        m_frame->pts = pts;
        const bool ok = Filter(link, m_frame);
        av_frame_unref(m_frame);
        if (!ok)
            return false;
    }
}

void TTranscoder::Report(bool last)
{
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - m_lastReport < std::chrono::milliseconds(500))
        return;
    m_lastReport = now;
    TProgressFigures figures;
    figures.Last = last;
    double video = 0;
    double audio = 0;
    for (const auto& link : m_links) {
        figures.Seconds = std::max(figures.Seconds, link->EndSeconds);
        if (link->Type == AVMEDIA_TYPE_VIDEO) {
            figures.HasVideo = true;
            figures.Frames = link->Frames;
            figures.Quality = link->Quality;
            video += link->EncodedBytes;
        } else {
            audio += link->EncodedBytes;
        }
    }
    const double elapsed = std::chrono::duration<double>(now - m_started).count();
    figures.Fps = elapsed > 0 ? figures.Frames / elapsed : 0;
    if (last) {
        struct stat st
        {
        };
        if (::stat(m_file.TemporaryPath().c_str(), &st) == 0)
            figures.SizeBytes = static_cast<double>(st.st_size);
        WriteBlock(FormatStatusLine(figures) + "\r\n" +
                   FormatSummaryLine(video, audio, m_headerBytes, figures.SizeBytes));
    } else {
        figures.SizeBytes = m_out->pb ? static_cast<double>(avio_tell(m_out->pb)) : 0;
        WriteBlock(FormatStatusLine(figures));
    }
}

bool TTranscoder::Convert()
{
    m_started = m_lastReport = std::chrono::steady_clock::now();
    m_mender = std::make_unique<TTimestampMender>(m_in->nb_streams);
    std::vector<TLink*> byInput(m_in->nb_streams, nullptr);
    for (const auto& link : m_links)
        byInput[static_cast<std::size_t>(link->In->index)] = link.get();

    for (;;) {
        const int rc = av_read_frame(m_in, m_packet);
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            if (rc != AVERROR_EOF)
                WriteLine("'" + m_options.InputPath + "': reading stopped early: " + ErrorText(rc));
            break;
        }
        // Some demuxers (FLV) add streams in the middle of the file; those
        // were not chosen at open time and are passed over.
        const auto index = static_cast<std::size_t>(m_packet->stream_index);
        TLink* link =
            m_packet->stream_index >= 0 && index < byInput.size() ? byInput[index] : nullptr;
        bool ok = true;
        if (link) {
            MendTimestamps(m_packet);
            ok = Decode(*link, m_packet);
        }
        av_packet_unref(m_packet);
        if (!ok)
            return false;
        Report(false);
    }

    // Drain decoders, filters and encoders in that order.
    for (const auto& link : m_links) {
        if (!Decode(*link, nullptr) || !Filter(*link, nullptr) || !Encode(*link, nullptr))
            return false;
    }
    int rc = av_write_trailer(m_out);
    if (rc < 0)
        return Fail("Error while writing '" + m_options.OutputPath + "': " + ErrorText(rc));
    avio_flush(m_out->pb);
    rc = m_out->pb->error;
    if (rc >= 0)
        rc = avio_closep(&m_out->pb);
    if (rc < 0)
        return Fail("Error while writing '" + m_options.OutputPath + "': " + ErrorText(rc));
    Report(true);
    return true;
}

// Jumps in the input's timestamps are closed up before the decoder sees them.
void TTranscoder::MendTimestamps(AVPacket* packet)
{
    const AVStream* st = m_in->streams[packet->stream_index];
    const AVRational us{1, AV_TIME_BASE};
    if (packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE &&
        PresentationStrays(av_rescale_q(packet->pts, st->time_base, us),
                           av_rescale_q(packet->dts, st->time_base, us)))
        packet->pts = AV_NOPTS_VALUE;
    const std::int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (ts == AV_NOPTS_VALUE)
        return;
    const std::int64_t shiftUs = m_mender->ShiftFor(
        static_cast<std::size_t>(packet->stream_index), av_rescale_q(ts, st->time_base, us),
        packet->duration > 0 ? av_rescale_q(packet->duration, st->time_base, us) : 0);
    if (shiftUs == 0)
        return;
    const std::int64_t shift = av_rescale_q(shiftUs, us, st->time_base);
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts += shift;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += shift;
}

// The shift (in the input stream's time base) that closes a jump in the times
// of the decoded frames of link; a frame at pts is the next one.
std::int64_t TTranscoder::MendFrameTime(TLink& link, std::int64_t pts)
{
    const AVRational us{1, AV_TIME_BASE};
    const AVRational tb = link.In->time_base;
    std::int64_t lengthUs = 0;
    if (link.Type == AVMEDIA_TYPE_AUDIO && m_frame->sample_rate > 0)
        lengthUs = av_rescale(m_frame->nb_samples, AV_TIME_BASE, m_frame->sample_rate);
    else if (m_frame->pkt_duration > 0)
        lengthUs = av_rescale_q(m_frame->pkt_duration, tb, us);
    // Frames are timed from the file's start: the first comes within a
    // minute of it.
    if (!link.FrameStarted) {
        link.FrameStarted = true;
        link.FrameMender.StartFrom(0);
    }
    const std::int64_t shiftUs = link.FrameMender.ShiftFor(0, av_rescale_q(pts, tb, us), lengthUs);
    return shiftUs == 0 ? 0 : av_rescale_q(shiftUs, us, tb);
}

// The duration the input declares for the stream of link: its own, or the
// file's; 0 when only an estimate from the bit rate is known (wrong for files
// of variable bit rate without a header).
double TTranscoder::DeclaredSeconds(const TLink& link) const
{
    if (m_in->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return 0;
    if (link.In->duration != AV_NOPTS_VALUE && link.In->duration > 0)
        return static_cast<double>(link.In->duration) * av_q2d(link.In->time_base);
    if (m_in->duration != AV_NOPTS_VALUE && m_in->duration > 0)
        return static_cast<double>(m_in->duration) / AV_TIME_BASE;
    return 0;
}

// An input that yields nothing, or well under what it declares, is damaged:
// a short output would pass for the whole file.
bool TTranscoder::CheckWhatWasRead()
{
    for (const auto& link : m_links) {
        const std::string kind = link->Type == AVMEDIA_TYPE_AUDIO ? "audio" : "video";
        if (link->Decoded.IsEmpty())
            return Fail("'" + m_options.InputPath + "': damaged input: no " + kind +
                        " could be read");
        if (link->Fed.IsEmpty())
            return Fail("Cannot write '" + m_options.OutputPath + "': no " + kind +
                        " was left to encode");
        const double declared = DeclaredSeconds(*link);
        // Sound is counted sample by sample, so frames lost anywhere count;
        // pictures by the stretch they cover, as their durations are often
        // unknown.
        const double read =
            link->Type == AVMEDIA_TYPE_AUDIO ? link->DecodedSamples : link->Decoded.Seconds();
        if (ReadFallsShort(read, declared))
            return Fail("'" + m_options.InputPath + "': " + ShortReadReason(read, declared));
    }
    return true;
}

// The finished file, read back before it takes the real name.
bool TTranscoder::CheckFinishedFile()
{
    std::vector<TExpectedStream> expected;
    for (const auto& link : m_links)
        expected.push_back({link->Type == AVMEDIA_TYPE_VIDEO, link->Fed.Seconds()});
    std::string reason;
    if (!CheckFinishedOutput(m_file.TemporaryPath(), ReadBackDemuxer(m_out->oformat->name),
                             expected, reason, m_options.OutputPath))
        return Fail("Cannot write '" + m_options.OutputPath + "': " + reason);
    return true;
}

int TTranscoder::Run()
{
    m_frame = av_frame_alloc();
    m_filtered = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_filtered || !m_packet)
        return Fail("Out of memory"), 1;
    HoldLibraryLog(true);
    const bool opened = OpenInput();
    if (opened)
        PrintInputBlock();
    HoldLibraryLog(false);
    if (!opened)
        return 1;
    for (const std::string& warning : m_options.Warnings)
        WriteLine(warning);
    if (!m_options.HasOutput) {
        WriteBlock(kNoOutputLines);
        return 1;
    }
    if (!SetUpOutput() || !Convert() || !CheckWhatWasRead() || !CheckFinishedFile())
        return 1;
    // No codec threads are left running when the file gets its real name.
    m_links.clear();
    std::string error;
    if (!m_file.Commit(error))
        return Fail(error), 1;
    return 0;
}

}  // namespace

int RunConversion(const TToolOptions& options)
{
    InstallLibraryLog();
    TTranscoder transcoder(options);
    return transcoder.Run();
}
