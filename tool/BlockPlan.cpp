#include "tool/BlockPlan.h"

#include <algorithm>

namespace {

std::int64_t RoundUp(std::int64_t value, std::int64_t step)
{
    return (value + step - 1) / step * step;
}

}  // namespace

TBlockPlan::TBlockPlan(const TBlockLengths& lengths, int workers, std::int64_t expectedFrames,
                       std::int64_t fixedFrames)
    : m_lengths(lengths),
      m_workers(std::max(workers, 1)),
      m_expected(std::max<std::int64_t>(expectedFrames, 0)),
      m_fixed(fixedFrames)
{
    m_lengths.Period = std::max<std::int64_t>(m_lengths.Period, 1);
    m_lengths.Shortest = RoundUp(std::max<std::int64_t>(m_lengths.Shortest, 1), m_lengths.Period);
    m_lengths.Longest = std::max(RoundUp(m_lengths.Longest, m_lengths.Period), m_lengths.Shortest);
    m_lengths.BlocksPerWorkerLeft = std::max(m_lengths.BlocksPerWorkerLeft, 1);
}

std::int64_t TBlockPlan::LengthFrom(std::int64_t start) const
{
    if (m_fixed > 0)
        return RoundUp(m_fixed, m_lengths.Period);
    const std::int64_t left = std::max<std::int64_t>(m_expected - start, 0);
    const std::int64_t share =
        left / (static_cast<std::int64_t>(m_workers) * m_lengths.BlocksPerWorkerLeft);
    return std::clamp(RoundUp(share, m_lengths.Period), m_lengths.Shortest, m_lengths.Longest);
}

std::int64_t TBlockPlan::GridStart(std::int64_t block)
{
    while (static_cast<std::int64_t>(m_starts.size()) <= block)
        m_starts.push_back(m_starts.back() + LengthFrom(m_starts.back()));
    return m_starts[static_cast<std::size_t>(block)];
}
