#include "tool/DurationAccount.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void TMediaSpan::Add(double startSeconds, double endSeconds)
{
    if (!std::isfinite(startSeconds) || !std::isfinite(endSeconds))
        return;
    endSeconds = std::max(startSeconds, endSeconds);
    if (!m_any) {
        m_start = startSeconds;
        m_end = endSeconds;
        m_any = true;
        return;
    }
    m_start = std::min(m_start, startSeconds);
    m_end = std::max(m_end, endSeconds);
}

bool ReadFallsShort(double readSeconds, double declaredSeconds)
{
    return declaredSeconds > 0 && readSeconds < 0.9 * declaredSeconds;
}

bool DurationsAgree(double writtenSeconds, double fedSeconds)
{
    const double tolerance = std::max(1.0, 0.05 * fedSeconds);
    return std::fabs(writtenSeconds - fedSeconds) <= tolerance;
}

std::string SecondsText(double seconds)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", std::max(0.0, seconds));
    std::string text = buffer;
    if (text.size() > 3 && text.back() == '0')
        text.pop_back();
    return text;
}

std::string ShortReadReason(double readSeconds, double declaredSeconds)
{
    return "damaged input: " + SecondsText(readSeconds) + " of " + SecondsText(declaredSeconds) +
           " s could be read";
}
