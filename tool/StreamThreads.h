// The streams of one conversion, each pipeline in a thread of its own beside
// the others, or all in the reader's thread on one processor. The reader
// hands every packet to its stream; a failure of one stream stops them all
// at once, and the first failure is the one the run reports.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tool/ProgressReport.h"
#include "tool/StreamPipeline.h"
#include "tool/StreamThread.h"

// How often a wait for the streams comes back to the reader, for the status
// lines.
inline constexpr std::chrono::milliseconds kStreamWait{100};

class TStreamThreads
{
public:
    // One stream for each pipeline, started at once. onStop is called once,
    // from the failing thread, before the other streams are stopped.
    TStreamThreads(const TPipelines& pipelines, bool ownThreads, std::function<void()> onStop);
    ~TStreamThreads();
    TStreamThreads(const TStreamThreads&) = delete;
    TStreamThreads& operator=(const TStreamThreads&) = delete;

    // The stream of the input stream index, nullptr when it is not converted.
    TStreamThread* ForInput(int index) const;
    const std::vector<std::unique_ptr<TStreamThread>>& Streams() const { return m_streams; }
    // The input has ended: every stream takes what is queued, then drains
    // its pipeline.
    void Close();
    // Waits until every stream is done, calling whileWaiting every
    // kStreamWait; false when a stream failed.
    bool Finish(const std::function<void()>& whileWaiting);
    // Stops every stream and waits for their threads.
    void Stop();

    bool Failed() const;
    // The first failure's line.
    std::string Failure() const;
    // What each stream has written so far, in the output's order.
    std::vector<TStreamProgress> Progress() const;

private:
    void OnFailure(const std::string& line);

    std::vector<std::unique_ptr<TStreamThread>> m_streams;
    std::vector<TStreamThread*> m_byInput;
    std::function<void()> m_onStop;
    mutable std::mutex m_mutex;
    bool m_failed = false;
    std::string m_failure;
};
