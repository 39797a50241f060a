// A run that stops getting through its input. A damaged header can make
// FFmpeg's readers spin (reading the same stretch again and again, or looping
// over a table without reading at all), which would leave the window with a
// bar that never moves. Once the process has spent a bounded amount of
// processor time without a packet time or a read position beyond the furthest
// one so far, the input's interrupt callback stops the read; a reader that
// does not come back from its loop is ended from the watchdog's own thread,
// with the same line and without its part file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct AVFormatContext;
struct AVPacket;

// The processor time (seconds) a run may spend without getting further. A
// damaged AVI header had its reader creep on for 5 s before it got no further;
// the fuzz check counts a run over 20 s as a hang.
inline constexpr double kStallCpuSeconds = 10.0;

// kStallCpuSeconds, or the number of seconds in $FFMOD_STALL_CPU_SECONDS (a
// smaller bound lets a test see a stall without spending 10 s on it).
double StallCpuSeconds();

class TProgressWatchdog
{
public:
    explicit TProgressWatchdog(double cpuSeconds = StallCpuSeconds());
    ~TProgressWatchdog();
    TProgressWatchdog(const TProgressWatchdog&) = delete;
    TProgressWatchdog& operator=(const TProgressWatchdog&) = delete;

    // Makes the watchdog the interrupt callback of an input context that has
    // not been opened yet, and starts watching. inputPath names the input in
    // the line a stall prints.
    void Attach(AVFormatContext* input, const std::string& inputPath);
    // The part file to remove when the process has to be ended.
    void SetPartFile(const std::string& path);
    // A packet was read: its time (microseconds, AV_NOPTS_VALUE if none) and
    // the read position.
    void Progress(std::int64_t timeUs, std::int64_t position);
    // The same for a packet read from input.
    void NoteRead(const AVFormatContext* input, const AVPacket* packet);
    // The reader starts waiting for a stream's thread to take packets. The
    // processor time spent meanwhile counts as usual (a stream that never
    // gets past a packet is as stuck as a reader), but what was spent up to
    // a packet the stream took is excused (NoteTaken): it went into the
    // packets read before.
    void BeginWait();
    void NoteTaken();
    // Reading is over; what follows (draining the encoders, the check) is
    // not watched.
    void Stop();
    bool Stalled() const { return m_stalled; }
    // "'in.avi': damaged input: reading got no further for 10 s of processing time"
    std::string Reason() const;

private:
    static int Interrupt(void* opaque);
    static std::int64_t CpuNanoseconds();
    bool OverBudget(double extraSeconds) const;
    void Watch();

    const std::int64_t m_budgetNs;
    std::string m_input;
    std::string m_partFile;
    std::atomic<std::int64_t> m_sinceNs;  // processor time at the last progress
    std::atomic<bool> m_stalled{false};
    std::int64_t m_waitFromNs = 0;  // the reader's: processor time at the wait's start
    std::int64_t m_furthestTimeUs;
    std::int64_t m_furthestPosition = -1;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
