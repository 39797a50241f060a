#include "tool/StreamThread.h"

#include <utility>

TStreamThread::TStreamThread(TStreamPipeline& pipeline, bool ownThread, TFailure onFailure)
    : m_pipeline(pipeline),
      m_onFailure(std::move(onFailure)),
      m_ownThread(ownThread),
      m_figures(pipeline.Figures())
{}

TStreamThread::~TStreamThread()
{
    Stop();
    Join();
}

void TStreamThread::Start()
{
    if (m_ownThread && !m_thread.joinable())
        m_thread = std::thread(&TStreamThread::Run, this);
}

bool TStreamThread::HasRoom() const
{
    return !m_ownThread || m_queue.HasRoom();
}

bool TStreamThread::WaitForRoom(std::chrono::milliseconds wait)
{
    return !m_ownThread || m_queue.WaitForRoom(wait);
}

bool TStreamThread::Feed(AVPacket* packet)
{
    if (m_ownThread) {
        if (m_queue.Put(packet))
            return true;
        if (!m_queue.Stopped())
            m_onFailure("Out of memory");
        return false;
    }
    if (m_failed || m_queue.Stopped())
        return false;
    const bool ok = m_pipeline.Feed(packet) || Fail(m_pipeline.Error());
    av_packet_unref(packet);
    return ok;
}

void TStreamThread::Close()
{
    m_closed = true;
    if (m_ownThread)
        m_queue.Close();
    else
        Reach(TStage::Draining);
}

void TStreamThread::Stop()
{
    m_queue.Stop();
    if (!m_ownThread)
        Reach(TStage::Done);
}

bool TStreamThread::WaitUntil(TStage stage, std::chrono::milliseconds wait)
{
    if (!m_ownThread && stage == TStage::Done && m_closed) {
        if (!m_failed && !m_queue.Stopped())
            Drain();
        Reach(TStage::Done);
    }
    std::unique_lock lock(m_mutex);
    return m_stageChanged.wait_for(lock, wait, [this, stage] { return m_stage >= stage; });
}

void TStreamThread::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

TStreamFigures TStreamThread::Figures() const
{
    if (!m_ownThread)
        return m_pipeline.Figures();
    std::lock_guard lock(m_mutex);
    return m_figures;
}

void TStreamThread::Run()
{
    AVPacket* packet = av_packet_alloc();
    bool going = packet != nullptr || Fail("Out of memory");
    while (going) {
        const TPacketQueue::TTake taken = m_queue.Take(packet);
        if (taken == TPacketQueue::TTake::Stopped)
            break;
        if (taken == TPacketQueue::TTake::End) {
            Reach(TStage::Draining);
            Drain();
            going = false;
        } else {
            going = m_pipeline.Feed(packet) || Fail(m_pipeline.Error());
            av_packet_unref(packet);
            Publish();
        }
    }
    av_packet_free(&packet);
    Reach(TStage::Done);
}

void TStreamThread::Drain()
{
    if (!m_pipeline.Finish())
        Fail(m_pipeline.Error());
    Publish();
}

bool TStreamThread::Fail(const std::string& line)
{
    m_failed = true;
    m_onFailure(line);
    return false;
}

void TStreamThread::Publish()
{
    std::lock_guard lock(m_mutex);
    m_figures = m_pipeline.Figures();
}

void TStreamThread::Reach(TStage stage)
{
    {
        std::lock_guard lock(m_mutex);
        if (stage > m_stage)
            m_stage = stage;
    }
    m_stageChanged.notify_all();
}
