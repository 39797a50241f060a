#include "tool/FirstFrame.h"

TFirstFrameProbe::~TFirstFrameProbe()
{
    for (TState& state : m_states)
        avcodec_free_context(&state.Decoder);
    av_frame_free(&m_frame);
}

TFirstFrameProbe::TState& TFirstFrameProbe::StateOf(const AVStream* st)
{
    const auto index = static_cast<std::size_t>(st->index);
    if (index >= m_states.size())
        m_states.resize(index + 1);
    TState& state = m_states[index];
    if (state.Opened)
        return state;
    state.Opened = true;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        state.Framed = true;
        return state;
    }
    state.Decoder = avcodec_alloc_context3(codec);
    if (!state.Decoder || avcodec_parameters_to_context(state.Decoder, st->codecpar) < 0) {
        avcodec_free_context(&state.Decoder);
        state.Framed = true;
        return state;
    }
    state.Decoder->thread_count = 1;
    state.Decoder->pkt_timebase = st->time_base;
    // A decoder that will not open is no judgement on the file.
    if (avcodec_open2(state.Decoder, codec, nullptr) < 0) {
        avcodec_free_context(&state.Decoder);
        state.Framed = true;
    }
    return state;
}

void TFirstFrameProbe::Receive(TState& state)
{
    if (!m_frame)
        m_frame = av_frame_alloc();
    if (!m_frame) {
        state.Framed = true;  // out of memory: no judgement
        return;
    }
    while (!state.Framed) {
        const int rc = avcodec_receive_frame(state.Decoder, m_frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        if (rc >= 0) {
            state.Framed = true;
            av_frame_unref(m_frame);
        } else if (rc != AVERROR_INVALIDDATA) {
            return;
        }
    }
}

void TFirstFrameProbe::Feed(const AVStream* st, const AVPacket* packet)
{
    TState& state = StateOf(st);
    if (state.Framed || !state.Decoder)
        return;
    int rc = avcodec_send_packet(state.Decoder, packet);
    if (rc == AVERROR(EAGAIN)) {
        Receive(state);
        rc = avcodec_send_packet(state.Decoder, packet);
    }
    Receive(state);
}

void TFirstFrameProbe::Finish()
{
    for (TState& state : m_states) {
        if (state.Framed || !state.Decoder)
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
