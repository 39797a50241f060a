#include "tool/FirstFrame.h"

#include "tool/LibraryError.h"

TFirstFrameProbe::~TFirstFrameProbe()
{
    for (TState& state : m_states) {
        state.Watch.reset();
        avcodec_free_context(&state.Decoder);
    }
    av_frame_free(&m_frame);
}

TFirstFrameProbe::TState& TFirstFrameProbe::StateOf(int index, const AVCodecParameters* parameters,
                                                    AVRational timeBase)
{
    const auto at = static_cast<std::size_t>(index);
    if (at >= m_states.size())
        m_states.resize(at + 1);
    TState& state = m_states[at];
    if (state.Opened)
        return state;
    state.Opened = true;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) {
        state.Framed = state.Done = true;
        return state;
    }
    state.Decoder = avcodec_alloc_context3(codec);
    if (!state.Decoder || avcodec_parameters_to_context(state.Decoder, parameters) < 0) {
        avcodec_free_context(&state.Decoder);
        state.Framed = state.Done = true;
        return state;
    }
    // One thread, so that everything the decoder logs names this context.
    state.Decoder->thread_count = 1;
    state.Decoder->pkt_timebase = timeBase;
    // A decoder that will not open is no judgement on the file.
    if (avcodec_open2(state.Decoder, codec, nullptr) < 0) {
        avcodec_free_context(&state.Decoder);
        state.Framed = state.Done = true;
        return state;
    }
    state.Watch = std::make_unique<TLibraryErrorWatch>(state.Decoder);
    return state;
}

void TFirstFrameProbe::NoteError(TState& state, int rc)
{
    if (state.Error.empty())
        state.Error = ErrorText(rc);
}

void TFirstFrameProbe::Receive(TState& state)
{
    if (!m_frame)
        m_frame = av_frame_alloc();
    if (!m_frame) {
        state.Framed = state.Done = true;  // out of memory: no judgement
        return;
    }
    for (;;) {
        const int rc = avcodec_receive_frame(state.Decoder, m_frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        if (rc >= 0) {
            state.Framed = true;
            if (m_frame->decode_error_flags)
                NoteError(state, AVERROR_INVALIDDATA);
            av_frame_unref(m_frame);
        } else {
            NoteError(state, rc);
            if (rc != AVERROR_INVALIDDATA)
                return;
        }
    }
}

void TFirstFrameProbe::Feed(const AVStream* st, const AVPacket* packet)
{
    Feed(st->index, st->codecpar, st->time_base, packet);
}

void TFirstFrameProbe::Feed(int index, const AVCodecParameters* parameters, AVRational timeBase,
                            const AVPacket* packet)
{
    TState& state = StateOf(index, parameters, timeBase);
    if (state.Done || !state.Decoder)
        return;
    const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts != AV_NOPTS_VALUE) {
        if (state.StartTs == AV_NOPTS_VALUE)
            state.StartTs = ts;
        const double seconds = static_cast<double>(ts - state.StartTs) * av_q2d(timeBase);
        if (state.Framed && m_stretch >= 0 && seconds > m_stretch) {
            state.Done = true;
            return;
        }
    }
    int rc = avcodec_send_packet(state.Decoder, packet);
    if (rc == AVERROR(EAGAIN)) {
        Receive(state);
        rc = avcodec_send_packet(state.Decoder, packet);
    }
    if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        NoteError(state, rc);
    Receive(state);
}

void TFirstFrameProbe::Finish()
{
    for (TState& state : m_states) {
        if (state.Done || !state.Decoder)
            continue;
        avcodec_send_packet(state.Decoder, nullptr);
        Receive(state);
    }
}

bool TFirstFrameProbe::GaveFrame(int index) const
{
    const auto at = static_cast<std::size_t>(index);
    return at < m_states.size() && m_states[at].Framed;
}

std::string TFirstFrameProbe::DecodeProblem(int index) const
{
    const auto at = static_cast<std::size_t>(index);
    if (at >= m_states.size())
        return {};
    const TState& state = m_states[at];
    if (state.Watch && state.Watch->Count() > 0)
        return state.Watch->First();
    return state.Error;
}
