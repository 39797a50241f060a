#include "tool/StreamThreads.h"

#include <utility>

TStreamThreads::TStreamThreads(const TPipelines& pipelines, bool ownThreads,
                               std::function<void()> onStop)
    : m_onStop(std::move(onStop))
{
    for (const auto& pipeline : pipelines) {
        m_streams.push_back(std::make_unique<TStreamThread>(
            *pipeline, ownThreads, [this](const std::string& line) { OnFailure(line); }));
        const auto index = static_cast<std::size_t>(pipeline->Input()->index);
        if (m_byInput.size() <= index)
            m_byInput.resize(index + 1, nullptr);
        m_byInput[index] = m_streams.back().get();
    }
    for (const auto& stream : m_streams)
        stream->Start();
}

TStreamThreads::~TStreamThreads()
{
    Stop();
}

TStreamThread* TStreamThreads::ForInput(int index) const
{
    const auto at = static_cast<std::size_t>(index);
    return index >= 0 && at < m_byInput.size() ? m_byInput[at] : nullptr;
}

void TStreamThreads::Close()
{
    for (const auto& stream : m_streams)
        stream->Close();
}

bool TStreamThreads::Finish(const std::function<void()>& whileWaiting)
{
    for (const auto& stream : m_streams) {
        while (!stream->WaitUntil(TStreamThread::TStage::Done, kStreamWait))
            whileWaiting();
        stream->Join();
    }
    return !Failed();
}

void TStreamThreads::Stop()
{
    for (const auto& stream : m_streams)
        stream->Stop();
    for (const auto& stream : m_streams)
        stream->Join();
}

bool TStreamThreads::Failed() const
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}

std::string TStreamThreads::Failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

std::vector<TStreamProgress> TStreamThreads::Progress() const
{
    std::vector<TStreamProgress> progress;
    for (const auto& stream : m_streams)
        progress.push_back({stream->Type(), stream->Figures()});
    return progress;
}

// A stream that fails stops the others: they drop what they hold and end
// after the packet in hand, and the muxer takes no more of their packets.
void TStreamThreads::OnFailure(const std::string& line)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_failed)
            return;
        m_failed = true;
        m_failure = line;
    }
    if (m_onStop)
        m_onStop();
    for (const auto& stream : m_streams)
        stream->Stop();
}
