// The frames of a sound stream held until the blocks' encoders take them.
// Their samples are copied into large chunks from a pool, one slot a frame,
// so that holding a minute of sound costs no allocation per frame: the
// filter's own frames go back to it at once, and no thread frees small
// pieces of memory another thread allocated (which made the C library's
// allocator sort and merge thousands of them while the blocks were held).
// A run (THeldRun) is a stretch of the held frames with a reference on each
// chunk it reads; the chunks go back to the pool when the stream and every
// run are done with them.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Where a frame's samples lie: its chunk is the slot's number divided by the
// slots of a chunk.
struct TSlotGeometry
{
    int Format = -1;
    int Channels = 0;
    int FrameSamples = 0;
    int PlaneBytes = 0;  // one channel's samples (planar) or all of them
    int Planes = 0;
    std::size_t SlotBytes = 0;
    std::int64_t SlotsPerChunk = 0;
};

class THeldRun
{
public:
    THeldRun(const TSlotGeometry& geometry, std::shared_ptr<const AVFrame> like, std::int64_t first)
        : m_geometry(geometry), m_like(std::move(like)), m_first(first)
    {}
    ~THeldRun();
    THeldRun(const THeldRun&) = delete;
    THeldRun& operator=(const THeldRun&) = delete;

    std::int64_t First() const { return m_first; }
    std::int64_t End() const { return m_first + static_cast<std::int64_t>(m_samples.size()); }
    std::size_t Size() const { return m_samples.size(); }

    // Takes the frames of later that come after this run's end.
    bool Append(THeldRun& later);
    // A frame of the run's i-th frame for an encoder: its properties those
    // of the stream's frames, its samples read from the chunk (a reference
    // of its own, which Release drops). view comes from MakeView.
    AVFrame* MakeView() const;
    bool Fill(AVFrame* view, std::size_t i, std::int64_t pts) const;
    static void Release(AVFrame* view);

private:
    friend class THeldSamples;
    bool Reference(std::int64_t chunk, AVBufferRef* buffer);
    AVBufferRef* ChunkOf(std::int64_t frame) const;

    TSlotGeometry m_geometry;
    std::shared_ptr<const AVFrame> m_like;  // the stream's first frame
    std::int64_t m_first;
    std::int64_t m_firstChunk = 0;
    std::vector<AVBufferRef*> m_chunks;  // from m_firstChunk on
    std::vector<int> m_samples;          // each frame's sample count
};

class THeldSamples
{
public:
    // For frames as encoder takes them (its sample format, layout and
    // frame_size).
    explicit THeldSamples(const AVCodecContext* encoder);
    ~THeldSamples();
    THeldSamples(const THeldSamples&) = delete;
    THeldSamples& operator=(const THeldSamples&) = delete;

    // Copies frame's samples as the next frame. False, with the reason, when
    // there is no memory or frame is unlike the stream's (another format or
    // layout, or more samples than a frame holds).
    bool Add(const AVFrame* frame, std::string& reason);
    std::int64_t Count() const { return m_count; }
    // The frames from first to end (both within what is held), or nullptr
    // when there is no memory.
    std::unique_ptr<THeldRun> Run(std::int64_t first, std::int64_t end) const;
    // The frames before first are no more needed here.
    void Forget(std::int64_t first);

private:
    TSlotGeometry m_geometry;
    AVBufferPool* m_pool = nullptr;
    std::shared_ptr<const AVFrame> m_like;  // the first frame, for its properties
    std::int64_t m_count = 0;
    std::int64_t m_firstChunk = 0;
    std::deque<AVBufferRef*> m_chunks;  // from m_firstChunk on
    std::int64_t m_firstFrame = 0;
    std::deque<int> m_samples;  // from m_firstFrame on
};
