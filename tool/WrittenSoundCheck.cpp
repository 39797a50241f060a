#include "tool/WrittenSoundCheck.h"

#include <system_error>

namespace {

// The one stream the probe of a checker decodes.
constexpr int kCheckedIndex = 0;

void FreeParameters(AVCodecParameters* parameters)
{
    avcodec_parameters_free(&parameters);
}

}  // namespace

TWrittenSoundCheck::TWrittenSoundCheck(const AVStream* stream)
    : m_parameters(avcodec_parameters_alloc(), FreeParameters),
      m_timeBase(stream->time_base),
      m_handed(av_packet_alloc())
{
    if (!m_parameters || avcodec_parameters_copy(m_parameters.get(), stream->codecpar) < 0 ||
        !m_handed || !m_digest.IsAllocated()) {
        m_lost = true;
        m_queue.Stop();
        return;
    }
    try {
        m_thread = std::thread(&TWrittenSoundCheck::Run, this);
    } catch (const std::system_error&) {
        // No thread to be had: the read-back decodes the sound as it did.
        Stop();
    }
}

TWrittenSoundCheck::~TWrittenSoundCheck()
{
    Stop();
    if (m_thread.joinable())
        m_thread.join();
    av_packet_free(&m_handed);
}

void TWrittenSoundCheck::Add(const AVPacket* packet)
{
    if (m_lost)
        return;
    if (av_packet_ref(m_handed, packet) < 0 || !m_queue.Put(m_handed)) {
        av_packet_unref(m_handed);
        m_lost = true;
    }
}

void TWrittenSoundCheck::Stop()
{
    m_lost = true;
    m_queue.Stop();
}

void TWrittenSoundCheck::Run()
{
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        Stop();
        return;
    }
    TPacketQueue::TTake take;
    while ((take = m_queue.Take(packet)) == TPacketQueue::TTake::Packet) {
        // As on read-back, where no packet is empty.
        if (packet->size > 0) {
            m_digest.Add(packet);
            m_probe.Feed(kCheckedIndex, m_parameters.get(), m_timeBase, packet);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (take == TPacketQueue::TTake::End) {
        m_probe.Finish();
        m_ended = true;
    }
}

std::optional<TWrittenSound> TWrittenSoundCheck::Finish()
{
    m_queue.Close();
    if (m_thread.joinable())
        m_thread.join();
    if (m_lost || !m_ended)
        return std::nullopt;
    TWrittenSound written;
    written.Packets = m_digest.Finish();
    written.Framed = m_probe.GaveFrame(kCheckedIndex);
    written.Problem = m_probe.DecodeProblem(kCheckedIndex);
    written.Parameters = m_parameters;
    return written;
}
