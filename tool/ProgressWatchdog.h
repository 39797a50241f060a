// A run that stops getting through its input. A damaged header can make
// FFmpeg's readers spin (reading the same stretch again and again, or never
// returning from a read), which would leave the window with a bar that never
// moves. The watchdog is the input's interrupt callback, so even a read that
// does not return is stopped, once the process has spent a bounded amount of
// processor time without a packet time or a read position beyond the
// furthest one so far.
#pragma once

#include <cstdint>
#include <string>

struct AVFormatContext;

// The processor time (seconds) a run may spend without getting further.
inline constexpr double kStallCpuSeconds = 15.0;

class TProgressWatchdog
{
public:
    explicit TProgressWatchdog(double cpuSeconds = kStallCpuSeconds);

    // Makes the watchdog the interrupt callback of an input context that
    // has not been opened yet.
    void Attach(AVFormatContext* input);
    // A packet was read: its time (microseconds, AV_NOPTS_VALUE if none)
    // and the read position.
    void Progress(std::int64_t timeUs, std::int64_t position);
    bool Stalled() const { return m_stalled; }
    // "damaged input: reading got no further for 15 s of processing time"
    std::string Reason() const;

private:
    static int Interrupt(void* opaque);
    static double CpuSeconds();

    double m_budget;
    double m_since;  // processor time at the last progress
    std::int64_t m_furthestTimeUs;
    std::int64_t m_furthestPosition = -1;
    bool m_stalled = false;
};
