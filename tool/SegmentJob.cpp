#include "tool/SegmentJob.h"

#include "tool/EncoderFeed.h"
#include "tool/LibraryError.h"
#include "tool/SimilarEncoder.h"

TSegmentJob::~TSegmentJob()
{
    FreePackets();
}

void TSegmentJob::FreePackets()
{
    for (AVPacket*& packet : m_packets.Packets)
        av_packet_free(&packet);
    m_packets.Packets.clear();
}

bool TSegmentJob::ExtendOver(TSegmentJob& later)
{
    if (!m_frames->Append(*later.m_frames))
        return false;
    m_last = later.m_last;
    return true;
}

bool TSegmentJob::Run(const AVCodecContext* like, const std::atomic<bool>& stop)
{
    FreePackets();
    m_error.clear();
    TCodecContext encoder = OpenSimilarEncoder(like, m_error);
    AVPacket* scratch = encoder ? av_packet_alloc() : nullptr;
    AVFrame* view = encoder ? m_frames->MakeView() : nullptr;
    if (encoder && (!scratch || !view))
        m_error = "Out of memory";
    if (!scratch || !view) {
        av_packet_free(&scratch);
        av_frame_free(&view);
        return false;
    }
    const auto take = [&](AVPacket* packet) { return Take(packet, encoder.get()); };
    // A later block's encoder codes its lead-in at the rule's rates, then
    // the rest at the stream's.
    const std::int64_t bitRate = encoder->bit_rate;
    const int steered = m_block > 0 ? m_join.LeadInFrames() : 0;
    int rc = 0;
    for (std::size_t i = 0; i < m_frames->Size(); ++i) {
        if (stop.load(std::memory_order_relaxed)) {
            m_error = "stopped";
            break;
        }
        if (i <= static_cast<std::size_t>(steered)) {
            const int fed = static_cast<int>(i);
            encoder->bit_rate = fed < steered ? m_join.LeadInBitRate(bitRate, fed) : bitRate;
        }
        const std::int64_t frame = First() + static_cast<std::int64_t>(i);
        if (!m_frames->Fill(view, i, m_origin + frame * encoder->frame_size)) {
            m_error = "Out of memory";
            break;
        }
        rc = FeedEncoder(encoder.get(), view, scratch, take);
        THeldRun::Release(view);
        if (rc != 0)
            break;
    }
    if (rc == 0 && m_error.empty() && m_last)
        rc = FeedEncoder(encoder.get(), nullptr, scratch, take);
    av_packet_free(&scratch);
    av_frame_free(&view);
    if (rc < 0)
        m_error = ErrorText(rc);
    return m_error.empty();
}

// Keeps a copy of packet as the frame its time says it codes.
bool TSegmentJob::Take(const AVPacket* packet, const AVCodecContext* encoder)
{
    if (packet->pts == AV_NOPTS_VALUE) {
        m_error = "a packet without a time";
        return false;
    }
    const std::int64_t offset = packet->pts + encoder->initial_padding - m_origin;
    const std::int64_t size = encoder->frame_size;
    const std::int64_t frame = offset >= 0 ? offset / size : -((size - 1 - offset) / size);
    if (!m_packets.Packets.empty() && frame != m_packets.End()) {
        m_error = "a packet for frame " + std::to_string(frame) + " came after frame " +
                  std::to_string(m_packets.End() - 1);
        return false;
    }
    AVPacket* copy = av_packet_clone(packet);
    if (!copy) {
        m_error = "Out of memory";
        return false;
    }
    if (m_packets.Packets.empty())
        m_packets.First = frame;
    m_packets.Packets.push_back(copy);
    return true;
}
