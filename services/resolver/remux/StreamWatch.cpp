#include "services/resolver/remux/StreamWatch.h"

TStreamWatch::TStreamWatch(std::chrono::milliseconds idleLimit)
    : m_idleLimit(idleLimit), m_lastTouch(TClock::now().time_since_epoch().count())
{}

void TStreamWatch::Touch()
{
    m_lastTouch = TClock::now().time_since_epoch().count();
}

void TStreamWatch::Fail(const std::string& why)
{
    std::lock_guard lock(m_mutex);
    if (!m_failed)
        m_failure = why;
    m_failed = true;
}

std::string TStreamWatch::Failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

bool TStreamWatch::ShouldInterrupt()
{
    if (m_stopped || m_failed)
        return true;
    const TClock::duration idle =
        TClock::now().time_since_epoch() - TClock::duration(m_lastTouch.load());
    if (idle <= m_idleLimit)
        return false;
    Fail("no data for " + std::to_string(m_idleLimit.count()) + " ms");
    return true;
}

int TStreamWatch::InterruptCallback(void* opaque)
{
    return static_cast<TStreamWatch*>(opaque)->ShouldInterrupt() ? 1 : 0;
}
