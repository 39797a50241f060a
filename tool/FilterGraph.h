// The filter graph of one stream: between its decoder and its encoder, it
// brings the decoded frames to what the encoder takes (size, picture rate and
// pixel format; sample rate, layout and format, with gaps filled by silence).
// A change of the decoded frames' parameters in mid-stream rebuilds it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
}

#include <string>

// What the graph is built between. Encoder need not be open yet for video (the
// graph's output then fixes the aspect ratio it is told).
struct TGraphEnds
{
    AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
    const AVCodecContext* Decoder = nullptr;
    const AVCodecContext* Encoder = nullptr;
    AVRational InputTimeBase{1, 1};
    AVRational FrameRate{25, 1};   // video: the output's picture rate
    AVRational InputAspect{0, 1};  // video: the input stream's sample aspect, when it has one
    int StreamIndex = 0;           // the input stream, for the failure line
};

class TFilterGraph
{
public:
    TFilterGraph() = default;
    ~TFilterGraph();
    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    // (Re)builds the graph for the parameters of frame, or of the decoder
    // when frame is null. False with the one-line reason.
    bool Build(const TGraphEnds& ends, const AVFrame* frame, std::string& error);
    // Whether frame has parameters other than the graph was built for.
    bool Differs(AVMediaType type, const AVFrame* frame) const;
    // Hands frame in (null: the end of the stream); av_buffersrc's code.
    int Push(AVFrame* frame);
    // Takes the next converted frame; av_buffersink's code.
    int Pull(AVFrame* frame);

    AVRational SampleAspectRatio() const;
    AVRational TimeBase() const;

private:
    int MakeVideoEnds(const TGraphEnds& ends, const AVFrame* frame, std::string& spec);
    int MakeAudioEnds(const TGraphEnds& ends, const AVFrame* frame, bool rebuilding,
                      std::string& spec);
    int Connect(const std::string& spec, bool& noMemory);

    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    // The input parameters the graph was built for.
    int m_width = 0;
    int m_height = 0;
    int m_format = -1;
    int m_rate = 0;
    int m_channels = 0;
};
