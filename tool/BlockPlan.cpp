#include "tool/BlockPlan.h"

#include <algorithm>
#include <utility>

TBlockPlan::TBlockPlan(const TBlockLengths& lengths, int workers, std::int64_t expectedFrames,
                       TEncoderStart encoderStart, std::int64_t fixedFrames)
    : m_lengths(lengths),
      m_workers(std::max(workers, 1)),
      m_expected(std::max<std::int64_t>(expectedFrames, 0)),
      m_encoderStart(std::move(encoderStart)),
      m_fixed(fixedFrames)
{
    m_lengths.Shortest = std::max<std::int64_t>(m_lengths.Shortest, 1);
    m_lengths.Longest = std::max(m_lengths.Longest, m_lengths.Shortest);
    m_lengths.BlocksPerWorkerLeft = std::max(m_lengths.BlocksPerWorkerLeft, 1);
}

std::int64_t TBlockPlan::LengthFrom(std::int64_t start) const
{
    if (m_fixed > 0)
        return m_fixed;
    const std::int64_t left = std::max<std::int64_t>(m_expected - start, 0);
    const std::int64_t share =
        left / (static_cast<std::int64_t>(m_workers) * m_lengths.BlocksPerWorkerLeft);
    return std::clamp(share, m_lengths.Shortest, m_lengths.Longest);
}

std::int64_t TBlockPlan::GridStart(std::int64_t block)
{
    while (static_cast<std::int64_t>(m_starts.size()) <= block) {
        const std::int64_t wanted = m_starts.back() + LengthFrom(m_starts.back());
        const std::int64_t start = m_encoderStart ? m_encoderStart(wanted) : wanted;
        m_starts.push_back(std::max(start, wanted));
    }
    return m_starts[static_cast<std::size_t>(block)];
}
