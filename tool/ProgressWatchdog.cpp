#include "ProgressWatchdog.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <time.h>

#include <cstdio>

TProgressWatchdog::TProgressWatchdog(double cpuSeconds)
    : m_budget(cpuSeconds), m_since(CpuSeconds()), m_furthestTimeUs(AV_NOPTS_VALUE)
{}

double TProgressWatchdog::CpuSeconds()
{
    timespec now{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0)
        return 0;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void TProgressWatchdog::Attach(AVFormatContext* input)
{
    input->interrupt_callback.callback = &TProgressWatchdog::Interrupt;
    input->interrupt_callback.opaque = this;
}

void TProgressWatchdog::Progress(std::int64_t timeUs, std::int64_t position)
{
    bool further = false;
    if (timeUs != AV_NOPTS_VALUE &&
        (m_furthestTimeUs == AV_NOPTS_VALUE || timeUs > m_furthestTimeUs)) {
        m_furthestTimeUs = timeUs;
        further = true;
    }
    if (position > m_furthestPosition) {
        m_furthestPosition = position;
        further = true;
    }
    if (further)
        m_since = CpuSeconds();
}

int TProgressWatchdog::Interrupt(void* opaque)
{
    auto* self = static_cast<TProgressWatchdog*>(opaque);
    if (!self->m_stalled && CpuSeconds() - self->m_since > self->m_budget)
        self->m_stalled = true;
    return self->m_stalled ? 1 : 0;
}

std::string TProgressWatchdog::Reason() const
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", m_budget);
    return std::string("damaged input: reading got no further for ") + seconds +
           " s of processing time";
}
