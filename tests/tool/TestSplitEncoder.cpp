#include "tests/tool/TestSplitEncoder.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <memory>

namespace {

struct TCodecFree
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameFree
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecFree>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;

void FreePackets(TEncodedFrames& frames)
{
    for (AVPacket*& p : frames.Packets)
        av_packet_free(&p);
    frames.Packets.clear();
}

// Takes every packet the encoder has ready.
bool Drain(AVCodecContext* encoder, std::vector<AVPacket*>& packets)
{
    for (;;) {
        AVPacket* packet = av_packet_alloc();
        const int got = avcodec_receive_packet(encoder, packet);
        if (got < 0) {
            av_packet_free(&packet);
            return got == AVERROR(EAGAIN) || got == AVERROR_EOF;
        }
        packets.push_back(packet);
    }
}

}  // namespace

TEncodedStream::~TEncodedStream()
{
    FreePackets(Frames);
    avcodec_parameters_free(&Parameters);
}

bool TTestSplitEncoder::Encode(std::int64_t first, std::int64_t end, TEncodedStream& out,
                               std::string& error, const TPacketJoin* steer,
                               std::int64_t leadIn) const
{
    const AVCodec* codec = avcodec_find_encoder_by_name(m_settings.Encoder.c_str());
    TCodecPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!encoder) {
        error = "no encoder " + m_settings.Encoder;
        return false;
    }
    const int channels = static_cast<int>(m_sound.Planes.size());
    encoder->sample_rate = m_sound.SampleRate;
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->time_base = AVRational{1, m_sound.SampleRate};
    if (m_settings.Quality >= 0) {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = m_settings.Quality * FF_QP2LAMBDA;
    } else {
        encoder->bit_rate = m_settings.BitRate;
    }
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0) {
        error = "cannot open " + m_settings.Encoder;
        return false;
    }
    const int frameSize = encoder->frame_size;
    const std::int64_t bitRate = encoder->bit_rate;
    const std::int64_t total = m_sound.Samples();
    const std::int64_t stop = std::min(total, end * frameSize);
    FreePackets(out.Frames);
    out.Frames.First = first;
    out.FrameSize = frameSize;
    TFramePtr frame(av_frame_alloc());
    for (std::int64_t at = first * frameSize; at < stop; at += frameSize) {
        const int count = static_cast<int>(std::min<std::int64_t>(frameSize, stop - at));
        frame->nb_samples = count;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = m_sound.SampleRate;
        av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
        frame->pts = at;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            error = "out of memory";
            return false;
        }
        for (int c = 0; c < channels; ++c)
            std::copy_n(m_sound.Planes[static_cast<std::size_t>(c)].begin() + at, count,
                        reinterpret_cast<float*>(frame->data[c]));
        const std::int64_t fed = at / frameSize - first;
        if (steer)
            encoder->bit_rate =
                fed < leadIn ? steer->LeadInBitRate(bitRate, static_cast<int>(fed)) : bitRate;
        if (avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
            !Drain(encoder.get(), out.Frames.Packets)) {
            error = m_settings.Encoder + " refused a frame";
            return false;
        }
        av_frame_unref(frame.get());
    }
    if (stop == total && (avcodec_send_frame(encoder.get(), nullptr) < 0 ||
                          !Drain(encoder.get(), out.Frames.Packets))) {
        error = m_settings.Encoder + " failed at the end";
        return false;
    }
    avcodec_parameters_free(&out.Parameters);
    out.Parameters = avcodec_parameters_alloc();
    avcodec_parameters_from_context(out.Parameters, encoder.get());
    return true;
}

bool TTestSplitEncoder::EncodeWhole(TEncodedStream& out, std::string& error) const
{
    return Encode(0, m_sound.Samples() + 1, out, error);
}

bool TTestSplitEncoder::EncodeSplit(const TPacketJoin& rule, int blockFrames, TEncodedStream& out,
                                    TSplitStats& stats, std::string& error, int leadIn) const
{
    if (leadIn < 0)
        leadIn = rule.LeadInFrames();
    const int tail = rule.JoinCandidates() + rule.PostRollFrames();
    stats = {};
    // The joined stream so far; its last part comes from the encoder that
    // started at frame current.
    if (!Encode(0, blockFrames + tail, out, error))
        return false;
    const std::int64_t frameSize = out.FrameSize;
    const std::int64_t frames = (m_sound.Samples() + frameSize - 1) / frameSize;
    std::int64_t current = 0;
    std::int64_t lastJoinLeadIn = 0;  // the lead-in of the encoder that started at current
    std::int64_t lastJoin = 0;
    for (std::int64_t block = blockFrames; block < frames; block += blockFrames) {
        // A block nearer the start than the lead-in starts at the stream's start.
        const std::int64_t start = std::max<std::int64_t>(0, block - leadIn);
        TEncodedStream later;
        if (!Encode(start, block + blockFrames + tail, later, error, &rule, block - start))
            return false;
        const std::int64_t join = rule.ChooseJoin(out.Frames, later.Frames, block);
        if (join < 0) {
            // The encoder before goes on over this block too: its frames
            // from the last join on are made again, the same as before.
            ++stats.Refused;
            TEncodedStream longer;
            if (!Encode(current, block + blockFrames + tail, longer, error,
                        current > 0 ? &rule : nullptr, lastJoinLeadIn))
                return false;
            auto& kept = out.Frames.Packets;
            for (std::int64_t n = lastJoin; n < out.Frames.End(); ++n)
                av_packet_free(&kept[static_cast<std::size_t>(n - out.Frames.First)]);
            kept.resize(static_cast<std::size_t>(lastJoin - out.Frames.First));
            for (std::int64_t n = lastJoin; n < longer.Frames.End(); ++n)
                kept.push_back(av_packet_clone(longer.Frames.At(n)));
            continue;
        }
        const int sizeBefore = out.Frames.At(join - 1) ? out.Frames.At(join - 1)->size : 0;
        if (!rule.Join(out.Frames, later.Frames, join, error))
            return false;
        stats.Joins.push_back(join);
        stats.Moved += join > block ? 1 : 0;
        stats.Grown += out.Frames.At(join - 1)->size > sizeBefore ? 1 : 0;
        auto& kept = out.Frames.Packets;
        for (std::int64_t n = join; n < out.Frames.End(); ++n)
            av_packet_free(&kept[static_cast<std::size_t>(n - out.Frames.First)]);
        kept.resize(static_cast<std::size_t>(join - out.Frames.First));
        for (std::int64_t n = join; n < later.Frames.End(); ++n)
            kept.push_back(av_packet_clone(later.Frames.At(n)));
        current = start;
        lastJoinLeadIn = block - start;
        lastJoin = join;
    }
    return true;
}

bool WriteEncoded(const TEncodedStream& stream, const std::string& path, const char* format,
                  std::string& error)
{
    AVFormatContext* muxer = nullptr;
    if (avformat_alloc_output_context2(&muxer, nullptr, format, path.c_str()) < 0) {
        error = "no muxer for " + path;
        return false;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> owner(muxer,
                                                                       [](AVFormatContext* m) {
                                                                           if (m->pb)
                                                                               avio_closep(&m->pb);
                                                                           avformat_free_context(m);
                                                                       });
    AVStream* st = avformat_new_stream(muxer, nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, stream.Parameters) < 0) {
        error = "no stream";
        return false;
    }
    const AVRational samples{1, stream.Parameters->sample_rate};
    st->time_base = samples;
    if (avio_open(&muxer->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(muxer, nullptr) < 0) {
        error = "cannot start " + path;
        return false;
    }
    for (AVPacket* p : stream.Frames.Packets) {
        AVPacket* copy = av_packet_clone(p);
        av_packet_rescale_ts(copy, samples, st->time_base);
        copy->stream_index = st->index;
        const int written = av_write_frame(muxer, copy);
        av_packet_free(&copy);
        if (written < 0) {
            error = "cannot write into " + path;
            return false;
        }
    }
    if (av_write_trailer(muxer) < 0) {
        error = "cannot finish " + path;
        return false;
    }
    return true;
}
