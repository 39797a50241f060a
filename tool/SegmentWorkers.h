// The threads that run the block encoders of one sound stream: jobs are
// taken in the order given, each by the first thread free.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tool/SegmentJob.h"

class TSegmentWorkers
{
public:
    // count threads (started with the first jobs) whose encoders are like
    // like.
    TSegmentWorkers(const AVCodecContext* like, int count) : m_like(like), m_count(count) {}
    // Stops and joins every thread.
    ~TSegmentWorkers();
    TSegmentWorkers(const TSegmentWorkers&) = delete;
    TSegmentWorkers& operator=(const TSegmentWorkers&) = delete;

    void Submit(std::shared_ptr<TSegmentJob> job);
    // Whether job has been run (or given up on after a stop).
    bool IsDone(const TSegmentJob& job);
    // Waits until it has.
    void WaitFor(const TSegmentJob& job);
    // Every thread leaves its job after the frame it is at; queued jobs are
    // not started. Returns at once.
    void Stop();
    // Set by Stop: what a job run outside the threads checks too.
    const std::atomic<bool>& Stopping() const { return m_stop; }

private:
    void Work();

    const AVCodecContext* m_like;
    int m_count;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<TSegmentJob>> m_queue;
    std::vector<const TSegmentJob*> m_done;
    std::vector<std::thread> m_threads;
};
