#include "tool/SegmentWorkers.h"

#include <algorithm>
#include <system_error>

TSegmentWorkers::~TSegmentWorkers()
{
    Stop();
    for (std::thread& thread : m_threads)
        thread.join();
}

void TSegmentWorkers::Submit(std::shared_ptr<TSegmentJob> job)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (static_cast<int>(m_threads.size()) < m_count) {
        try {
            m_threads.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            // No more threads to be had: those there are go on alone.
            m_count = static_cast<int>(m_threads.size());
        }
    }
    if (m_threads.empty()) {
        // Not even one: the job runs here.
        lock.unlock();
        job->Run(m_like, m_stop);
        lock.lock();
        m_done.push_back(job.get());
        return;
    }
    m_queue.push_back(std::move(job));
    m_changed.notify_all();
}

bool TSegmentWorkers::IsDone(const TSegmentJob& job)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_done.begin(), m_done.end(), &job) != m_done.end();
}

void TSegmentWorkers::WaitFor(const TSegmentJob& job)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_stop || std::find(m_done.begin(), m_done.end(), &job) != m_done.end();
    });
    // A job may be waited for once: its entry goes, so the list stays short.
    m_done.erase(std::remove(m_done.begin(), m_done.end(), &job), m_done.end());
}

void TSegmentWorkers::Stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_queue.clear();
    m_changed.notify_all();
}

void TSegmentWorkers::Work()
{
    for (;;) {
        std::shared_ptr<TSegmentJob> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job->Run(m_like, m_stop);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done.push_back(job.get());
        m_changed.notify_all();
    }
}
