#include "tool/FrameTimeMender.h"

#include <algorithm>

TFrameTimeMender::TFrameTimeMender(AVMediaType type, AVRational inputTimeBase, AVRational frameRate,
                                   std::int64_t startOffset)
    : m_type(type), m_timeBase(inputTimeBase), m_frameRate(frameRate), m_startOffset(startOffset)
{}

std::int64_t TFrameTimeMender::TimeOf(const AVFrame* frame)
{
    std::int64_t pts = frame->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
        pts -= m_startOffset;
        pts += ShiftFor(frame, pts);
    }
    if (m_type == AVMEDIA_TYPE_AUDIO) {
        if (pts != AV_NOPTS_VALUE)
            pts = av_rescale_q(pts, m_timeBase, AVRational{1, frame->sample_rate});
        else
            pts = m_nextAudioPts == AV_NOPTS_VALUE ? 0 : m_nextAudioPts;
        m_nextAudioPts = pts + frame->nb_samples;
        return pts;
    }
    if (pts == AV_NOPTS_VALUE)
        pts = m_lastVideoPts == AV_NOPTS_VALUE
                  ? 0
                  : m_lastVideoPts + std::max<std::int64_t>(
                                         1, av_rescale_q(1, av_inv_q(m_frameRate), m_timeBase));
    m_lastVideoPts = pts;
    return pts;
}

// The shift (in the input stream's time base) that closes a jump in the times
// of the decoded frames; frame, at pts, is the next one.
std::int64_t TFrameTimeMender::ShiftFor(const AVFrame* frame, std::int64_t pts)
{
    const AVRational us{1, AV_TIME_BASE};
    std::int64_t lengthUs = 0;
    if (m_type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0)
        lengthUs = av_rescale(frame->nb_samples, AV_TIME_BASE, frame->sample_rate);
    else if (frame->pkt_duration > 0)
        lengthUs = av_rescale_q(frame->pkt_duration, m_timeBase, us);
    // Frames are timed from the file's start: the first comes within a
    // minute of it.
    if (!m_started) {
        m_started = true;
        m_mender.StartFrom(0);
    }
    const std::int64_t shiftUs = m_mender.ShiftFor(0, av_rescale_q(pts, m_timeBase, us), lengthUs);
    return shiftUs == 0 ? 0 : av_rescale_q(shiftUs, us, m_timeBase);
}
