#include "tool/TimestampGap.h"

#include <algorithm>

std::int64_t TTimestampMender::ShiftFor(std::size_t stream, std::int64_t startUs,
                                        std::int64_t durationUs)
{
    if (stream >= m_streams.size())
        return 0;
    TStream& s = m_streams[stream];
    std::int64_t mended = startUs + s.ShiftUs;
    bool jumped = false;
    std::int64_t expected = 0;
    if (s.Seen) {
        expected = s.EndUs;
        const std::int64_t delta = mended - expected;
        jumped = delta > kLargestFilledGapUs || delta < -kLargestFilledGapUs;
    } else if (m_anySeen) {
        expected = m_latestEndUs;
        jumped =
            mended - expected > kLatestStreamStartUs || mended - expected < -kLatestStreamStartUs;
    }
    if (jumped) {
        s.ShiftUs += expected - mended;
        mended = expected;
        ++m_jumps;
    }
    s.Seen = true;
    s.EndUs = mended + std::max<std::int64_t>(durationUs, 0);
    m_latestEndUs = m_anySeen ? std::max(m_latestEndUs, s.EndUs) : s.EndUs;
    m_anySeen = true;
    return s.ShiftUs;
}

bool PresentationStrays(std::int64_t ptsUs, std::int64_t dtsUs)
{
    const std::int64_t delta = ptsUs - dtsUs;
    return delta > kLargestFilledGapUs || delta < -kLargestFilledGapUs;
}
