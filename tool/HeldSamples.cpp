#include "tool/HeldSamples.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

#include <algorithm>

namespace {

// A chunk holds about this much, whatever the frames' size.
constexpr std::size_t ChunkBytes = std::size_t{1} << 20;
// Every plane starts on the widest alignment the processor's vector code
// asks for, as the library's own buffers do.
constexpr int PlaneAlign = 64;

TSlotGeometry GeometryOf(const AVCodecContext* encoder)
{
    TSlotGeometry g;
    g.Format = encoder->sample_fmt;
    g.Channels = encoder->ch_layout.nb_channels;
    g.FrameSamples = encoder->frame_size;
    const int bytes = av_get_bytes_per_sample(encoder->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(encoder->sample_fmt) != 0;
    g.Planes = planar ? g.Channels : 1;
    const int plane = g.FrameSamples * bytes * (planar ? 1 : g.Channels);
    g.PlaneBytes = (plane + PlaneAlign - 1) / PlaneAlign * PlaneAlign;
    g.SlotBytes = static_cast<std::size_t>(g.PlaneBytes) * static_cast<std::size_t>(g.Planes);
    g.SlotsPerChunk = g.SlotBytes > 0 ? std::max<std::int64_t>(
                                            1, static_cast<std::int64_t>(ChunkBytes / g.SlotBytes))
                                      : 0;
    return g;
}

// The planes of slot in chunk.
void SlotPlanes(const TSlotGeometry& g, AVBufferRef* chunk, std::int64_t slot,
                uint8_t* planes[AV_NUM_DATA_POINTERS])
{
    uint8_t* base = chunk->data + static_cast<std::size_t>(slot % g.SlotsPerChunk) * g.SlotBytes;
    for (int p = 0; p < AV_NUM_DATA_POINTERS; ++p)
        planes[p] = p < g.Planes ? base + static_cast<std::size_t>(p) * g.PlaneBytes : nullptr;
}

}  // namespace

THeldRun::~THeldRun()
{
    for (AVBufferRef*& chunk : m_chunks)
        av_buffer_unref(&chunk);
}

bool THeldRun::Reference(std::int64_t chunk, AVBufferRef* buffer)
{
    if (m_chunks.empty())
        m_firstChunk = chunk;
    if (chunk < m_firstChunk + static_cast<std::int64_t>(m_chunks.size()))
        return true;
    AVBufferRef* ref = av_buffer_ref(buffer);
    if (!ref)
        return false;
    m_chunks.push_back(ref);
    return true;
}

AVBufferRef* THeldRun::ChunkOf(std::int64_t frame) const
{
    return m_chunks[static_cast<std::size_t>(frame / m_geometry.SlotsPerChunk - m_firstChunk)];
}

bool THeldRun::Append(THeldRun& later)
{
    for (std::int64_t frame = End(); frame < later.End(); ++frame) {
        if (frame < later.First())
            return false;
        if (!Reference(frame / m_geometry.SlotsPerChunk, later.ChunkOf(frame)))
            return false;
        m_samples.push_back(later.m_samples[static_cast<std::size_t>(frame - later.First())]);
    }
    return true;
}

AVFrame* THeldRun::MakeView() const
{
    AVFrame* view = m_like ? av_frame_clone(m_like.get()) : nullptr;
    if (!view)
        return nullptr;
    for (AVBufferRef*& buffer : view->buf)
        av_buffer_unref(&buffer);
    return view;
}

bool THeldRun::Fill(AVFrame* view, std::size_t i, std::int64_t pts) const
{
    const std::int64_t frame = m_first + static_cast<std::int64_t>(i);
    AVBufferRef* chunk = ChunkOf(frame);
    view->buf[0] = av_buffer_ref(chunk);
    if (!view->buf[0])
        return false;
    SlotPlanes(m_geometry, chunk, frame, view->data);
    for (int p = 0; p < AV_NUM_DATA_POINTERS; ++p)
        view->linesize[p] = p < m_geometry.Planes ? m_geometry.PlaneBytes : 0;
    view->extended_data = view->data;
    view->nb_samples = m_samples[i];
    view->pts = pts;
    return true;
}

void THeldRun::Release(AVFrame* view)
{
    av_buffer_unref(&view->buf[0]);
}

THeldSamples::THeldSamples(const AVCodecContext* encoder) : m_geometry(GeometryOf(encoder))
{
    if (m_geometry.SlotBytes > 0)
        m_pool = av_buffer_pool_init(
            m_geometry.SlotBytes * static_cast<std::size_t>(m_geometry.SlotsPerChunk), nullptr);
}

THeldSamples::~THeldSamples()
{
    for (AVBufferRef*& chunk : m_chunks)
        av_buffer_unref(&chunk);
    // The pool itself goes when its last chunk comes back.
    av_buffer_pool_uninit(&m_pool);
}

bool THeldSamples::Add(const AVFrame* frame, std::string& reason)
{
    const TSlotGeometry& g = m_geometry;
    if (g.Planes > AV_NUM_DATA_POINTERS || frame->format != g.Format ||
        frame->ch_layout.nb_channels != g.Channels || frame->nb_samples > g.FrameSamples ||
        frame->nb_samples < 0) {
        reason = "a frame unlike the stream's";
        return false;
    }
    reason = "Out of memory";
    if (!m_pool)
        return false;
    if (!m_like) {
        AVFrame* like = av_frame_clone(frame);
        if (!like)
            return false;
        m_like.reset(like, [](const AVFrame* f) {
            AVFrame* owned = const_cast<AVFrame*>(f);
            av_frame_free(&owned);
        });
    }
    const std::int64_t chunk = m_count / g.SlotsPerChunk;
    if (chunk >= m_firstChunk + static_cast<std::int64_t>(m_chunks.size())) {
        AVBufferRef* fresh = av_buffer_pool_get(m_pool);
        if (!fresh)
            return false;
        m_chunks.push_back(fresh);
    }
    uint8_t* planes[AV_NUM_DATA_POINTERS];
    SlotPlanes(g, m_chunks.back(), m_count, planes);
    av_samples_copy(planes, frame->extended_data, 0, 0, frame->nb_samples, g.Channels,
                    static_cast<AVSampleFormat>(g.Format));
    m_samples.push_back(frame->nb_samples);
    ++m_count;
    reason.clear();
    return true;
}

std::unique_ptr<THeldRun> THeldSamples::Run(std::int64_t first, std::int64_t end) const
{
    auto run = std::make_unique<THeldRun>(m_geometry, m_like, first);
    run->m_samples.reserve(static_cast<std::size_t>(std::max<std::int64_t>(end - first, 0)));
    for (std::int64_t frame = first; frame < end; ++frame) {
        const std::int64_t chunk = frame / m_geometry.SlotsPerChunk;
        if (!run->Reference(chunk, m_chunks[static_cast<std::size_t>(chunk - m_firstChunk)]))
            return nullptr;
        run->m_samples.push_back(m_samples[static_cast<std::size_t>(frame - m_firstFrame)]);
    }
    return run;
}

void THeldSamples::Forget(std::int64_t first)
{
    while (m_firstFrame < first && !m_samples.empty()) {
        m_samples.pop_front();
        ++m_firstFrame;
    }
    // A chunk goes once no frame of it is held, save the one being filled.
    while (m_chunks.size() > 1 && (m_firstChunk + 1) * m_geometry.SlotsPerChunk <= m_firstFrame) {
        av_buffer_unref(&m_chunks.front());
        m_chunks.pop_front();
        ++m_firstChunk;
    }
}
