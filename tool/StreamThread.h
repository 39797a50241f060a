// One output stream's pipeline in a thread of its own: the reader hands it
// the stream's packets through a bounded queue; the thread feeds them to the
// pipeline, drains the pipeline once the input has ended, and after every
// packet publishes the pipeline's figures for the status lines. Without a
// thread of its own (a run on one processor) the same calls run the pipeline
// in the caller's thread. A failure is told once, through the callback,
// and the stream takes nothing more.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tool/PacketQueue.h"
#include "tool/StreamPipeline.h"

class TStreamThread
{
public:
    // Feeding: packets go in; Draining: the stream has taken its last packet
    // (or was stopped) and drains its pipeline; Done: nothing runs.
    enum class TStage
    {
        Feeding,
        Draining,
        Done
    };

    // Called with the failure's one line, from the thread that failed.
    using TFailure = std::function<void(const std::string& line)>;

    TStreamThread(TStreamPipeline& pipeline, bool ownThread, TFailure onFailure);
    // Stops the stream and waits for its thread.
    ~TStreamThread();
    TStreamThread(const TStreamThread&) = delete;
    TStreamThread& operator=(const TStreamThread&) = delete;

    // Starts the thread (when the stream has one of its own).
    void Start();

    // Whether Feed would take packet without waiting.
    bool HasRoom() const;
    // Waits at most wait for room; true when there is room or the stream
    // has stopped.
    bool WaitForRoom(std::chrono::milliseconds wait);
    // Hands over packet (its contents are moved out). False when the stream
    // takes nothing more: it failed, or it was stopped.
    bool Feed(AVPacket* packet);
    // The input has ended: the stream takes what is queued, then drains its
    // pipeline and is done. (Without a thread of its own the pipeline is
    // drained by WaitUntil(Done).)
    void Close();
    // The stream drops what it has not taken and is done after the packet
    // in hand.
    void Stop();
    // Waits at most wait for the stream to reach stage (or a later one);
    // true when it has.
    bool WaitUntil(TStage stage, std::chrono::milliseconds wait);
    // Waits for the thread to end.
    void Join();
    // How many packets the stream has taken from its queue so far.
    std::uint64_t Taken() const { return m_queue.Taken(); }

    AVMediaType Type() const { return m_pipeline.Type(); }
    int InputIndex() const { return m_pipeline.Input()->index; }
    // The pipeline's figures as of its last packet written: read from any
    // thread.
    TStreamFigures Figures() const;

private:
    void Run();
    bool Fail(const std::string& line);
    void Publish();
    void Reach(TStage stage);
    void Drain();

    TStreamPipeline& m_pipeline;
    const TFailure m_onFailure;
    TPacketQueue m_queue;
    std::thread m_thread;
    bool m_ownThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_stageChanged;
    TStreamFigures m_figures;
    TStage m_stage = TStage::Feeding;
    bool m_closed = false;
    bool m_failed = false;  // only touched by the thread that runs the pipeline
};
