#include "tool/ProgressWatchdog.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tool/Console.h"

namespace {

// How much longer than the budget a reader that ignores the interrupt may
// spin before the process is ended.
constexpr double kHardStopExtraSeconds = 5.0;

}  // namespace

double StallCpuSeconds()
{
    const char* given = std::getenv("FFMOD_STALL_CPU_SECONDS");
    if (!given || !*given)
        return kStallCpuSeconds;
    char* end = nullptr;
    const double seconds = std::strtod(given, &end);
    return *end == '\0' && seconds >= 0 && seconds <= 3600 ? seconds : kStallCpuSeconds;
}

TProgressWatchdog::TProgressWatchdog(double cpuSeconds)
    : m_budgetNs(static_cast<std::int64_t>(cpuSeconds * 1e9)),
      m_sinceNs(CpuNanoseconds()),
      m_furthestTimeUs(AV_NOPTS_VALUE)
{}

TProgressWatchdog::~TProgressWatchdog()
{
    Stop();
}

std::int64_t TProgressWatchdog::CpuNanoseconds()
{
    timespec now{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0)
        return 0;
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void TProgressWatchdog::Attach(AVFormatContext* input, const std::string& inputPath)
{
    m_input = inputPath;
    input->interrupt_callback.callback = &TProgressWatchdog::Interrupt;
    input->interrupt_callback.opaque = this;
    m_sinceNs = CpuNanoseconds();
    if (!m_thread.joinable())
        m_thread = std::thread(&TProgressWatchdog::Watch, this);
}

void TProgressWatchdog::SetPartFile(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_partFile = path;
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
        m_sinceNs = CpuNanoseconds();
}

void TProgressWatchdog::NoteRead(const AVFormatContext* input, const AVPacket* packet)
{
    const std::int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    const bool known = ts != AV_NOPTS_VALUE && packet->stream_index >= 0 &&
                       static_cast<unsigned>(packet->stream_index) < input->nb_streams;
    const std::int64_t us = known
                                ? av_rescale_q(ts, input->streams[packet->stream_index]->time_base,
                                               AVRational{1, AV_TIME_BASE})
                                : AV_NOPTS_VALUE;
    Progress(us, input->pb ? avio_tell(input->pb) : packet->pos);
}

void TProgressWatchdog::BeginWait()
{
    m_waitFromNs = CpuNanoseconds();
}

void TProgressWatchdog::NoteTaken()
{
    const std::int64_t now = CpuNanoseconds();
    m_sinceNs += now - m_waitFromNs;
    m_waitFromNs = now;
}

void TProgressWatchdog::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool TProgressWatchdog::OverBudget(double extraSeconds) const
{
    return CpuNanoseconds() - m_sinceNs >
           m_budgetNs + static_cast<std::int64_t>(extraSeconds * 1e9);
}

int TProgressWatchdog::Interrupt(void* opaque)
{
    auto* self = static_cast<TProgressWatchdog*>(opaque);
    if (!self->m_stalled && self->OverBudget(0))
        self->m_stalled = true;
    return self->m_stalled ? 1 : 0;
}

void TProgressWatchdog::Watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::milliseconds(250));
        if (m_stopping)
            return;
        if (OverBudget(0))
            m_stalled = true;
        // A reader spinning where it never asks the interrupt callback.
        if (OverBudget(kHardStopExtraSeconds)) {
            if (!m_partFile.empty())
                ::unlink(m_partFile.c_str());
            WriteLine(Reason());
            ::_exit(1);
        }
    }
}

std::string TProgressWatchdog::Reason() const
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(m_budgetNs) / 1e9);
    return "'" + m_input + "': damaged input: reading got no further for " + seconds +
           " s of processing time";
}
