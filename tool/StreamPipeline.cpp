#include "tool/StreamPipeline.h"

#include <algorithm>
#include <utility>

#include "tool/EncoderFeed.h"
#include "tool/LibraryError.h"
#include "tool/PacketJoin.h"

TStreamPipeline::TStreamPipeline(const AVStream* input, TCodecContext decoder,
                                 TCodecContext encoder, AVRational frameRate,
                                 std::int64_t startOffset)
    : m_type(input->codecpar->codec_type),
      m_input(input),
      m_encoder(std::move(encoder)),
      m_decoder(std::move(decoder)),
      m_frameRate(frameRate),
      m_times(m_type, input->time_base, frameRate, startOffset),
      m_decoded(av_frame_alloc()),
      m_filtered(av_frame_alloc()),
      m_packet(av_packet_alloc())
{}

TStreamPipeline::~TStreamPipeline()
{
    av_frame_free(&m_decoded);
    av_frame_free(&m_filtered);
    av_packet_free(&m_packet);
}

bool TStreamPipeline::Fail(const std::string& line)
{
    m_error = line;
    return false;
}

TGraphEnds TStreamPipeline::GraphEnds() const
{
    TGraphEnds ends;
    ends.Type = m_type;
    ends.Decoder = m_decoder.get();
    ends.Encoder = m_encoder.get();
    ends.InputTimeBase = m_input->time_base;
    ends.FrameRate = m_frameRate;
    ends.InputAspect = m_input->sample_aspect_ratio;
    ends.StreamIndex = m_input->index;
    return ends;
}

bool TStreamPipeline::BuildGraph()
{
    return m_graph.Build(GraphEnds(), nullptr, m_error);
}

void TStreamPipeline::SendTo(TPacketSink& sink, int outputIndex)
{
    m_sink = &sink;
    m_outputIndex = outputIndex;
}

void TStreamPipeline::SplitEncoding(int workers, double expectedSeconds)
{
    // Blocks hold planar sound of at most as many channels as a frame has
    // planes without extended_data.
    if (m_type != AVMEDIA_TYPE_AUDIO || workers < 2 || !m_sink ||
        m_encoder->ch_layout.nb_channels > AV_NUM_DATA_POINTERS)
        return;
    std::unique_ptr<TPacketJoin> join = MakePacketJoin(m_encoder.get());
    if (!join)
        return;
    m_segments = std::make_unique<TSegmentEncoder>(
        m_encoder.get(), std::move(join), workers, expectedSeconds,
        [this](AVPacket* packet) { return Write(packet); },
        "Error while encoding for '" + m_sink->Name() + "': ");
}

bool TStreamPipeline::Feed(const AVPacket* packet)
{
    return Decode(packet);
}

bool TStreamPipeline::Finish()
{
    return Decode(nullptr) && Filter(nullptr) && Encode(nullptr);
}

bool TStreamPipeline::Decode(const AVPacket* packet)
{
    const std::string failure = "Error while decoding stream #0." + std::to_string(m_input->index);
    int rc = avcodec_send_packet(m_decoder.get(), packet);
    // A damaged packet is skipped, as players do; the rest of the file still counts.
    if (rc < 0 && rc != AVERROR_EOF && rc != AVERROR_INVALIDDATA && rc != AVERROR(EAGAIN))
        return Fail(failure + ": " + ErrorText(rc));
    for (;;) {
        rc = avcodec_receive_frame(m_decoder.get(), m_decoded);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc == AVERROR_INVALIDDATA)
            continue;
        if (rc < 0)
            return Fail(failure + ": " + ErrorText(rc));
        const std::int64_t pts = m_times.TimeOf(m_decoded);
        CountDecoded(m_decoded, pts);
        m_decoded->pts = pts;
        const bool ok = Filter(m_decoded);
        av_frame_unref(m_decoded);
        if (!ok)
            return false;
    }
}

// Sound is counted sample by sample; pictures by the stretch they cover.
void TStreamPipeline::CountDecoded(const AVFrame* frame, std::int64_t pts)
{
    if (m_type == AVMEDIA_TYPE_AUDIO) {
        const double rate = frame->sample_rate;
        m_figures.DecodedSamples += static_cast<double>(frame->nb_samples) / rate;
        m_figures.Decoded.Add(static_cast<double>(pts) / rate,
                              static_cast<double>(pts + frame->nb_samples) / rate);
        return;
    }
    const double tb = av_q2d(m_input->time_base);
    const AVRational guess = m_decoder->framerate;
    const double length = frame->pkt_duration > 0
                              ? static_cast<double>(frame->pkt_duration) * tb
                              : (guess.num > 0 && guess.den > 0 ? 1.0 / av_q2d(guess) : 0.04);
    m_figures.Decoded.Add(static_cast<double>(pts) * tb, static_cast<double>(pts) * tb + length);
}

bool TStreamPipeline::Filter(AVFrame* frame)
{
    if (frame && m_graph.Differs(m_type, frame) && !m_graph.Build(GraphEnds(), frame, m_error))
        return false;
    const std::string failure =
        "Error while converting stream #0." + std::to_string(m_input->index);
    int rc = m_graph.Push(frame);
    if (rc < 0)
        return Fail(failure + ": " + ErrorText(rc));
    for (;;) {
        rc = m_graph.Pull(m_filtered);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return Fail(failure + ": " + ErrorText(rc));
        PrepareForEncoder(m_filtered);
        const bool ok = Encode(m_filtered);
        av_frame_unref(m_filtered);
        if (!ok)
            return false;
    }
}

// A converted frame as the encoder is given it, counted as fed.
void TStreamPipeline::PrepareForEncoder(AVFrame* frame)
{
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    // A graph rebuilt mid-stream must not step back in time.
    if (frame->pts != AV_NOPTS_VALUE && m_nextEncodePts != AV_NOPTS_VALUE &&
        frame->pts < m_nextEncodePts)
        frame->pts = m_nextEncodePts;
    const std::int64_t length = m_type == AVMEDIA_TYPE_AUDIO ? frame->nb_samples : 1;
    if (frame->pts != AV_NOPTS_VALUE) {
        m_nextEncodePts = frame->pts + length;
        const double tb = av_q2d(m_encoder->time_base);
        m_figures.Fed.Add(static_cast<double>(frame->pts) * tb,
                          static_cast<double>(frame->pts + length) * tb);
    }
    if (m_type == AVMEDIA_TYPE_VIDEO) {
        // Constant quality is asked for per picture.
        if (m_encoder->flags & AV_CODEC_FLAG_QSCALE)
            frame->quality = m_encoder->global_quality;
        ++m_figures.Frames;
    }
}

bool TStreamPipeline::Encode(const AVFrame* frame)
{
    if (m_segments)
        return m_segments->Encode(frame, m_error);
    const int rc = FeedEncoder(m_encoder.get(), frame, m_packet,
                               [this](AVPacket* packet) { return Write(packet); });
    if (rc < 0)
        return Fail("Error while encoding for '" + m_sink->Name() + "': " + ErrorText(rc));
    return rc == 0;
}

bool TStreamPipeline::Write(AVPacket* packet)
{
    m_figures.EncodedBytes += packet->size;
    if (m_type == AVMEDIA_TYPE_VIDEO) {
        std::size_t sideSize = 0;
        const uint8_t* stats =
            av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &sideSize);
        if (stats && sideSize >= 4) {
            const int q = stats[0] | (stats[1] << 8) | (stats[2] << 16) | (stats[3] << 24);
            m_figures.Quality = static_cast<double>(q) / FF_QP2LAMBDA;
        }
    }
    const AVRational tb = m_encoder->time_base;
    if (packet->pts != AV_NOPTS_VALUE) {
        const double end =
            static_cast<double>(packet->pts + std::max<std::int64_t>(packet->duration, 0)) *
            av_q2d(tb);
        m_figures.EndSeconds = std::max(m_figures.EndSeconds, end);
    }
    return m_sink->Write(packet, tb, m_error);
}
