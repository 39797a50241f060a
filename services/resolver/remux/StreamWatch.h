#pragma once

// What stops one stream's remux: the asker went away, a source failed, or
// nothing moved for too long. Shared by the remuxing thread (its blocking
// reads ask it whether to give up) and the connection that serves the bytes.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

class TStreamWatch
{
public:
    using TClock = std::chrono::steady_clock;

    explicit TStreamWatch(std::chrono::milliseconds idleLimit);

    // The asker went away: stop without a failure of the source.
    void Stop() { m_stopped = true; }
    bool Stopped() const { return m_stopped; }

    // Data moved (from a source, or on to the asker).
    void Touch();

    // The first failure is kept; any failure stops the remux.
    void Fail(const std::string& why);
    bool Failed() const { return m_failed; }
    std::string Failure() const;

    // Whether a blocking read must give up now; records the idle failure
    // when the limit has passed.
    bool ShouldInterrupt();

    std::chrono::milliseconds IdleLimit() const { return m_idleLimit; }

    // The interrupt callback of the FFmpeg libraries: OPAQUE is a TStreamWatch.
    static int InterruptCallback(void* opaque);

private:
    const std::chrono::milliseconds m_idleLimit;
    std::atomic<bool> m_stopped = false;
    std::atomic<bool> m_failed = false;
    std::atomic<TClock::rep> m_lastTouch;
    mutable std::mutex m_mutex;
    std::string m_failure;
};
