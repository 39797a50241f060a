#include "tool/FilterGraph.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>

#include "tool/DeviceFrame.h"
#include "tool/LibraryError.h"

TFilterGraph::~TFilterGraph()
{
    avfilter_graph_free(&m_graph);
}

bool TFilterGraph::Build(const TGraphEnds& ends, const AVFrame* frame, std::string& error)
{
    const bool rebuilding = m_graph != nullptr;
    avfilter_graph_free(&m_graph);
    m_graph = avfilter_graph_alloc();
    if (!m_graph) {
        error = "Out of memory";
        return false;
    }
    m_graph->nb_threads = 0;
    std::string spec;
    int rc = ends.Type == AVMEDIA_TYPE_VIDEO ? MakeVideoEnds(ends, frame, spec)
                                             : MakeAudioEnds(ends, frame, rebuilding, spec);
    bool noMemory = false;
    if (rc >= 0)
        rc = Connect(spec, noMemory);
    if (noMemory) {
        error = "Out of memory";
        return false;
    }
    if (rc < 0) {
        error = "Cannot set up the conversion of stream #0." + std::to_string(ends.StreamIndex) +
                ": " + ErrorText(rc);
        return false;
    }
    const AVCodecContext* enc = ends.Encoder;
    if (ends.Type == AVMEDIA_TYPE_AUDIO && enc && enc->frame_size > 0 &&
        !(enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        av_buffersink_set_frame_size(m_sink, static_cast<unsigned>(enc->frame_size));
    return true;
}

// The buffer source and sink of a picture stream, and the filters between
// them (in spec).
int TFilterGraph::MakeVideoEnds(const TGraphEnds& ends, const AVFrame* frame, std::string& spec)
{
    const AVCodecContext* dec = ends.Decoder;
    const AVCodecContext* enc = ends.Encoder;
    m_width = frame ? frame->width : dec->width;
    m_height = frame ? frame->height : dec->height;
    m_format = frame ? frame->format : dec->pix_fmt;
    AVRational sar = frame ? frame->sample_aspect_ratio : dec->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{0, 1};
    const AVRational inRate = dec->framerate.num > 0 ? dec->framerate : ends.FrameRate;
    char args[512];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d:"
                  "frame_rate=%d/%d",
                  m_width, m_height, m_format, ends.InputTimeBase.num, ends.InputTimeBase.den,
                  sar.num, sar.den, inRate.num, inRate.den);
    int rc = avfilter_graph_create_filter(&m_source, avfilter_get_by_name("buffer"), "in", args,
                                          nullptr, m_graph);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out",
                                          nullptr, nullptr, m_graph);
    if (rc >= 0) {
        const AVPixelFormat formats[] = {enc->pix_fmt, AV_PIX_FMT_NONE};
        rc = av_opt_set_int_list(m_sink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                                 AV_OPT_SEARCH_CHILDREN);
    }
    // The picture keeps the aspect it is shown in (the stream's, as players
    // take it, before the frames'), in the frame and pixel shape the encoder
    // is told.
    const bool streamAspect = ends.InputAspect.num > 0 && ends.InputAspect.den > 0;
    std::snprintf(args, sizeof args, ",fps=%d/%d,format=%s", ends.FrameRate.num, ends.FrameRate.den,
                  av_get_pix_fmt_name(enc->pix_fmt));
    spec = PictureFilter(m_width, m_height, streamAspect ? ends.InputAspect : sar, enc->width,
                         enc->height, enc->sample_aspect_ratio) +
           args;
    return rc;
}

// The buffer source and sink of a sound stream, and the filters between them
// (in spec).
int TFilterGraph::MakeAudioEnds(const TGraphEnds& ends, const AVFrame* frame, bool rebuilding,
                                std::string& spec)
{
    const AVCodecContext* dec = ends.Decoder;
    const AVCodecContext* enc = ends.Encoder;
    m_format = frame ? frame->format : dec->sample_fmt;
    m_rate = frame ? frame->sample_rate : dec->sample_rate;
    AVChannelLayout inLayout{};
    av_channel_layout_copy(&inLayout, frame ? &frame->ch_layout : &dec->ch_layout);
    if (inLayout.order != AV_CHANNEL_ORDER_NATIVE) {
        const int n = inLayout.nb_channels;
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_default(&inLayout, n);
    }
    m_channels = inLayout.nb_channels;
    char layoutText[128] = {};
    av_channel_layout_describe(&inLayout, layoutText, sizeof layoutText);
    av_channel_layout_uninit(&inLayout);
    char args[512];
    std::snprintf(args, sizeof args,
                  "time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", m_rate, m_rate,
                  av_get_sample_fmt_name(static_cast<AVSampleFormat>(m_format)), layoutText);
    int rc = avfilter_graph_create_filter(&m_source, avfilter_get_by_name("abuffer"), "in", args,
                                          nullptr, m_graph);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("abuffersink"), "out",
                                          nullptr, nullptr, m_graph);
    char outLayout[128] = {};
    av_channel_layout_describe(&enc->ch_layout, outLayout, sizeof outLayout);
    if (rc >= 0) {
        const AVSampleFormat formats[] = {enc->sample_fmt, AV_SAMPLE_FMT_NONE};
        rc = av_opt_set_int_list(m_sink, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                                 AV_OPT_SEARCH_CHILDREN);
    }
    if (rc >= 0) {
        const int rates[] = {enc->sample_rate, -1};
        rc = av_opt_set_int_list(m_sink, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN);
    }
    if (rc >= 0)
        rc = av_opt_set(m_sink, "ch_layouts", outLayout, AV_OPT_SEARCH_CHILDREN);
    // Gaps left by damaged frames are filled with silence so that sound stays
    // in step with the picture (and with the input's length).
    std::snprintf(args, sizeof args,
                  "aresample=%d:async=1%s,"
                  "aformat=sample_fmts=%s:sample_rates=%d:channel_layouts=%s",
                  enc->sample_rate, rebuilding ? "" : ":first_pts=0",
                  av_get_sample_fmt_name(enc->sample_fmt), enc->sample_rate, outLayout);
    spec = args;
    return rc;
}

// Puts the filters of spec between source and sink and configures the graph.
int TFilterGraph::Connect(const std::string& spec, bool& noMemory)
{
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        noMemory = true;
        return AVERROR(ENOMEM);
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_sink;
    int rc = avfilter_graph_parse_ptr(m_graph, spec.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (rc >= 0)
        rc = avfilter_graph_config(m_graph, nullptr);
    return rc;
}

bool TFilterGraph::Differs(AVMediaType type, const AVFrame* frame) const
{
    if (type == AVMEDIA_TYPE_VIDEO)
        return frame->width != m_width || frame->height != m_height || frame->format != m_format;
    return frame->format != m_format || frame->sample_rate != m_rate ||
           frame->ch_layout.nb_channels != m_channels;
}

int TFilterGraph::Push(AVFrame* frame)
{
    return av_buffersrc_add_frame_flags(m_source, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
}

int TFilterGraph::Pull(AVFrame* frame)
{
    return av_buffersink_get_frame(m_sink, frame);
}

AVRational TFilterGraph::SampleAspectRatio() const
{
    return av_buffersink_get_sample_aspect_ratio(m_sink);
}

AVRational TFilterGraph::TimeBase() const
{
    return av_buffersink_get_time_base(m_sink);
}
