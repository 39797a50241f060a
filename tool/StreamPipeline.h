// The pipeline of one output stream: its packets from the input are decoded,
// timed on the output's timeline, filtered to what the encoder takes,
// encoded, and the encoded packets handed to a sink. A pipeline keeps all it
// needs in itself and writes only through its sink, so several can run side
// by side, each in a thread of its own.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tool/CodecContext.h"
#include "tool/DurationAccount.h"
#include "tool/FilterGraph.h"
#include "tool/FrameTimeMender.h"
#include "tool/PacketSink.h"
#include "tool/SegmentEncoder.h"

// What a pipeline has done so far, for the status lines and the checks.
struct TStreamFigures
{
    double EncodedBytes = 0;
    double EndSeconds = 0;      // the end of the latest packet written
    int Frames = 0;             // pictures handed to the encoder
    double Quality = 0;         // the quality of the latest picture encoded
    TMediaSpan Decoded;         // media time the decoder gave, after closing jumps
    double DecodedSamples = 0;  // audio: the samples it gave, in seconds
    TMediaSpan Fed;             // media time handed to the encoder
};

class TStreamPipeline
{
public:
    // The pipeline of the input stream input with its open decoder and its
    // encoder (a picture encoder is opened once the graph is built, as the
    // graph fixes its aspect ratio). frameRate is the output's picture rate,
    // startOffset the file's start in input's time base.
    TStreamPipeline(const AVStream* input, TCodecContext decoder, TCodecContext encoder,
                    AVRational frameRate, std::int64_t startOffset);
    ~TStreamPipeline();
    TStreamPipeline(const TStreamPipeline&) = delete;
    TStreamPipeline& operator=(const TStreamPipeline&) = delete;

    // False when the frames or the packet could not be allocated.
    bool IsAllocated() const { return m_decoded && m_filtered && m_packet; }
    // Builds the filter graph for the decoder's parameters. False, with
    // Error() set, when it cannot be built.
    bool BuildGraph();
    // Where the encoded packets go; outputIndex is the stream's number in
    // the output, for the output's description.
    void SendTo(TPacketSink& sink, int outputIndex);
    // Shares a sound stream's encoding out over workers threads, in blocks,
    // when its encoder has a join rule (after SendTo). A stream too short
    // for it to pay is still coded by its own encoder. expectedSeconds: the
    // stream's length as the input states it (0: unknown).
    void SplitEncoding(int workers, double expectedSeconds);

    // Takes one packet of the input stream through all stages. False, with
    // Error() set, on a failure that ends the conversion.
    bool Feed(const AVPacket* packet);
    // Drains the decoder, the graph and the encoder, in that order.
    bool Finish();

    const std::string& Error() const { return m_error; }
    const TStreamFigures& Figures() const { return m_figures; }
    AVMediaType Type() const { return m_type; }
    const AVStream* Input() const { return m_input; }
    AVCodecContext* Encoder() const { return m_encoder.get(); }
    const TFilterGraph& Graph() const { return m_graph; }
    AVRational FrameRate() const { return m_frameRate; }
    int OutputIndex() const { return m_outputIndex; }

private:
    TGraphEnds GraphEnds() const;
    bool Decode(const AVPacket* packet);
    void CountDecoded(const AVFrame* frame, std::int64_t pts);
    bool Filter(AVFrame* frame);
    void PrepareForEncoder(AVFrame* frame);
    bool Encode(const AVFrame* frame);
    bool Write(AVPacket* packet);
    bool Fail(const std::string& line);

    AVMediaType m_type;
    const AVStream* m_input;
    // Freed in the opposite order: the graph, then the decoder, then the
    // encoder.
    TCodecContext m_encoder;
    TCodecContext m_decoder;
    AVRational m_frameRate;
    TFilterGraph m_graph;
    TFrameTimeMender m_times;
    TPacketSink* m_sink = nullptr;
    std::unique_ptr<TSegmentEncoder> m_segments;  // the encoder shared out, or none
    int m_outputIndex = -1;
    std::int64_t m_nextEncodePts = AV_NOPTS_VALUE;  // in the encoder's time base
    TStreamFigures m_figures;
    std::string m_error;
    AVFrame* m_decoded = nullptr;
    AVFrame* m_filtered = nullptr;
    AVPacket* m_packet = nullptr;
};

// The pipelines of a conversion, in the order of the output's streams.
using TPipelines = std::vector<std::unique_ptr<TStreamPipeline>>;
