#include "tool/PacketTimeMender.h"

TPacketTimeMender::TPacketTimeMender(const AVFormatContext* input)
    : m_input(input), m_mender(input->nb_streams)
{}

void TPacketTimeMender::Mend(AVPacket* packet)
{
    const AVStream* st = m_input->streams[packet->stream_index];
    const AVRational us{1, AV_TIME_BASE};
    if (packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE &&
        PresentationStrays(av_rescale_q(packet->pts, st->time_base, us),
                           av_rescale_q(packet->dts, st->time_base, us)))
        packet->pts = AV_NOPTS_VALUE;
    const std::int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (ts == AV_NOPTS_VALUE)
        return;
    const std::int64_t shiftUs = m_mender.ShiftFor(
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
