#include "tool/SegmentEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "base/ToolEnvironment.h"
#include "tool/EncoderFeed.h"
#include "tool/LibraryError.h"
#include "tool/ReportFile.h"

namespace {

// The lengths of a block. Each block costs an encoder's start and its
// lead-in (48 frames, 1.1 s, for MP3), so blocks are long while much of the
// stream is left, and no shorter than this toward its end.
constexpr double ShortestBlockSeconds = 10.0;
constexpr double LongestBlockSeconds = 30.0;
// A stream shorter than this is coded by one encoder: below it the blocks'
// threads save less than they cost.
constexpr double MinimumSplitSeconds = 20.0;
// Blocks waiting or being coded, per thread: enough to keep every thread
// busy, few enough that memory stays flat over any length.
constexpr std::size_t JobsPerWorker = 2;

std::int64_t FramesOf(double seconds, const AVCodecContext* encoder)
{
    return std::llround(seconds * encoder->sample_rate / encoder->frame_size);
}

// A later encoder's packet carries no priming of its own: its start lies in
// the dropped lead-in. What it says of the end (the last block's last
// packet) stays.
void DropPriming(AVPacket* packet)
{
    std::size_t size = 0;
    uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!skip || size < 4)
        return;
    std::fill(skip, skip + 4, uint8_t{0});
    if (std::all_of(skip, skip + size, [](uint8_t b) { return b == 0; }))
        av_packet_shrink_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
}

// The blocks' lengths for encoder's stream, expectedSeconds long as the
// input states it (0: unknown). $FFMOD_SPLIT_BLOCK_FRAMES sets one length,
// for tests (a short input then has many joins).
TBlockPlan PlanBlocks(const AVCodecContext* encoder, const TPacketJoin& join, int workers,
                      double expectedSeconds)
{
    TBlockLengths lengths;
    // A block holds at least its successor's lead-in and the join's candidates.
    const std::int64_t least =
        std::max({join.LeadInFrames(), join.JoinCandidates() + join.PostRollFrames(), 1});
    lengths.Shortest = std::max(FramesOf(ShortestBlockSeconds, encoder), least);
    lengths.Longest = FramesOf(LongestBlockSeconds, encoder);
    const std::int64_t fixed = EnvironmentCount(std::getenv("FFMOD_SPLIT_BLOCK_FRAMES"));
    const std::int64_t expected =
        expectedSeconds > 0 ? FramesOf(expectedSeconds, encoder) : std::int64_t{0};
    return TBlockPlan(
        lengths, workers, expected,
        [&join](std::int64_t frame) { return join.EncoderStart(frame); },
        fixed > 0 ? std::max(fixed, least) : 0);
}

}  // namespace

TSegmentEncoder::TSegmentEncoder(AVCodecContext* encoder, std::unique_ptr<TPacketJoin> join,
                                 int workers, double expectedSeconds, TWrite write,
                                 std::string failure)
    : m_encoder(encoder),
      m_join(std::move(join)),
      m_write(std::move(write)),
      m_failure(std::move(failure)),
      m_plan(PlanBlocks(encoder, *m_join, workers, expectedSeconds)),
      m_inFlight(static_cast<std::size_t>(workers) * JobsPerWorker),
      m_held(encoder),
      m_workers(encoder, workers)
{
    m_splitFrames = RunEnd(1);
    if (EnvironmentCount(std::getenv("FFMOD_SPLIT_BLOCK_FRAMES")) == 0)
        m_splitFrames = std::max(m_splitFrames, FramesOf(MinimumSplitSeconds, encoder));
}

TSegmentEncoder::~TSegmentEncoder()
{
    m_workers.Stop();
}

// Block 0 starts on the stream's first frame; every later block one lead-in
// past its encoder's start on the plan's grid, which is on the padding
// pattern's period.
std::int64_t TSegmentEncoder::BlockStart(std::int64_t block)
{
    return block == 0 ? 0 : m_plan.GridStart(block) + m_join->LeadInFrames();
}

std::int64_t TSegmentEncoder::RunStart(std::int64_t block)
{
    return m_plan.GridStart(block);
}

// Past the next block's last candidate and the post-roll.
std::int64_t TSegmentEncoder::RunEnd(std::int64_t block)
{
    return BlockStart(block + 1) + m_join->JoinCandidates() + m_join->PostRollFrames();
}

bool TSegmentEncoder::Fail(const std::string& reason, std::string& error)
{
    m_workers.Stop();
    error = m_failure + reason;
    return false;
}

// The samples of frame, held; frames are timed by their count from the
// stream's first, whose time is the origin: the blocks' encoders time their
// packets from it.
bool TSegmentEncoder::Keep(const AVFrame* frame, std::string& reason)
{
    if (m_held.Count() == 0)
        m_origin = frame->pts != AV_NOPTS_VALUE ? frame->pts : 0;
    return m_held.Add(frame, reason);
}

bool TSegmentEncoder::Encode(const AVFrame* frame, std::string& error)
{
    if (frame) {
        std::string reason;
        if (!Keep(frame, reason))
            return Fail(reason, error);
        if (!m_splitting && m_held.Count() >= m_splitFrames)
            m_splitting = true;
        if (!m_splitting)
            return true;
        while (m_held.Count() >= RunEnd(m_nextBlock)) {
            if (!Dispatch(false))
                return Fail("Out of memory", error);
        }
        return Collect(false, error);
    }
    if (!m_splitting)
        return EncodeAlone(error);
    if (!Dispatch(true))
        return Fail("Out of memory", error);
    if (!Collect(true, error) || !WriteKept(std::numeric_limits<std::int64_t>::max(), error))
        return false;
    ReportJoins();
    return true;
}

// $FFMOD_SPLIT_JOINS names a file that gets the frame of every join, one a
// line: the tests see where the blocks met.
void TSegmentEncoder::ReportJoins() const
{
    std::string lines;
    for (std::int64_t join : m_joins)
        lines += std::to_string(join) + '\n';
    WriteReportFile("FFMOD_SPLIT_JOINS", lines);
}

// The next block's run, to the first thread free; last: it runs to the end.
bool TSegmentEncoder::Dispatch(bool last)
{
    const std::int64_t block = m_nextBlock++;
    const std::int64_t start = RunStart(block);
    const std::int64_t end = last ? m_held.Count() : RunEnd(block);
    std::unique_ptr<THeldRun> frames = m_held.Run(start, end);
    if (!frames)
        return false;
    auto job = std::make_shared<TSegmentJob>(block, std::move(frames), last, m_origin, *m_join);
    // Frames before the next run's start are this run's alone.
    m_held.Forget(last ? m_held.Count() : RunStart(m_nextBlock));
    m_workers.Submit(job);
    m_pending.push_back(std::move(job));
    return true;
}

// Joins the runs that are done, in block order; all: waits for every one,
// else only while too many are on their way.
bool TSegmentEncoder::Collect(bool all, std::string& error)
{
    while (!m_pending.empty()) {
        std::shared_ptr<TSegmentJob> job = m_pending.front();
        if (!all && m_pending.size() < m_inFlight && !m_workers.IsDone(*job))
            return true;
        m_workers.WaitFor(*job);
        m_pending.pop_front();
        if (!job->Error().empty())
            return Fail(job->Error(), error);
        if (!JoinNext(std::move(job), error))
            return false;
    }
    return true;
}

// Where later's packets take over from the earlier run's; the earlier run's
// packets up to there are written. When they cannot take over within the
// candidates, the earlier run goes on over later's block instead (its
// encoder coded again from its start: the same frames give the same
// packets), and the join is tried at the next block.
bool TSegmentEncoder::JoinNext(std::shared_ptr<TSegmentJob> later, std::string& error)
{
    if (!m_earlier) {
        m_earlier = std::move(later);
        m_keptFrom = m_earlier->Packets().First;
        return true;
    }
    const std::int64_t from = BlockStart(later->Block());
    const std::int64_t join = m_join->ChooseJoin(m_earlier->Packets(), later->Packets(), from);
    if (join < 0) {
        if (!m_earlier->ExtendOver(*later))
            return Fail("Out of memory", error);
        if (!m_earlier->Run(m_encoder, m_workers.Stopping()))
            return Fail(m_earlier->Error(), error);
        return true;
    }
    std::string reason;
    if (!m_join->Join(m_earlier->Packets(), later->Packets(), join, reason))
        return Fail(reason, error);
    if (!WriteKept(join, error))
        return false;
    m_earlier = std::move(later);
    m_keptFrom = join;
    m_joins.push_back(join);
    return true;
}

// The earlier run's packets from m_keptFrom up to end (or its last).
bool TSegmentEncoder::WriteKept(std::int64_t end, std::string& error)
{
    TEncodedFrames& packets = m_earlier->Packets();
    const std::int64_t stop = std::min(end, packets.End());
    for (std::int64_t frame = m_keptFrom; frame < stop; ++frame) {
        AVPacket* const* at =
            frame >= packets.First
                ? &packets.Packets[static_cast<std::size_t>(frame - packets.First)]
                : nullptr;
        if (!at || !*at)
            return Fail("no packet for frame " + std::to_string(frame), error);
        AVPacket*& packet = packets.Packets[static_cast<std::size_t>(frame - packets.First)];
        if (m_earlier->Block() > 0)
            DropPriming(packet);
        const bool written = m_write(packet);
        av_packet_free(&packet);
        if (!written)
            return false;
        m_keptFrom = frame + 1;
    }
    return true;
}

// A stream too short to share out: the stream's own encoder codes it.
bool TSegmentEncoder::EncodeAlone(std::string& error)
{
    const std::int64_t count = m_held.Count();
    std::unique_ptr<THeldRun> frames = m_held.Run(0, count);
    m_held.Forget(count);
    AVPacket* scratch = av_packet_alloc();
    AVFrame* view = count > 0 && frames ? frames->MakeView() : nullptr;
    if (!frames || !scratch || (count > 0 && !view)) {
        av_packet_free(&scratch);
        av_frame_free(&view);
        return Fail("Out of memory", error);
    }
    int rc = 0;
    for (std::size_t i = 0; rc == 0 && i < frames->Size(); ++i) {
        if (!frames->Fill(view, i, m_origin + static_cast<std::int64_t>(i) * m_encoder->frame_size))
            rc = AVERROR(ENOMEM);
        else
            rc = FeedEncoder(m_encoder, view, scratch, m_write);
        THeldRun::Release(view);
    }
    if (rc == 0)
        rc = FeedEncoder(m_encoder, nullptr, scratch, m_write);
    av_packet_free(&scratch);
    av_frame_free(&view);
    if (rc < 0)
        return Fail(ErrorText(rc), error);
    return rc == 0;
}
