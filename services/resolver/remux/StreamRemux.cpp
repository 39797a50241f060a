#include "services/resolver/remux/StreamRemux.h"

#include "services/resolver/remux/StreamContainer.h"
#include "services/resolver/remux/StreamInput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <vector>

namespace {

constexpr int OutputBufferBytes = 64 * 1024;

struct TPacketFree
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;

// One stream taken from an input, and where it goes in the output.
struct TChosen
{
    TStreamInput* Input = nullptr;
    AVStream* Source = nullptr;
    AVStream* Target = nullptr;
};

int64_t VariantBitRate(const AVStream* stream)
{
    if (stream->codecpar->bit_rate > 0)
        return stream->codecpar->bit_rate;
    const AVDictionaryEntry* entry = av_dict_get(stream->metadata, "variant_bitrate", nullptr, 0);
    return entry ? std::strtoll(entry->value, nullptr, 10) : 0;
}

// How good a stream is within its kind: the picture size first for video,
// then the bit rate (a master playlist's variant rate counts), then the
// channels for audio.
std::tuple<int64_t, int64_t, int> Rank(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO)
        return {int64_t(par->width) * par->height, VariantBitRate(stream), 0};
    return {VariantBitRate(stream), par->sample_rate, par->ch_layout.nb_channels};
}

TChosen Best(const std::vector<std::unique_ptr<TStreamInput>>& inputs, AVMediaType type)
{
    TChosen best;
    for (const auto& input : inputs) {
        AVFormatContext* context = input->Context();
        for (unsigned i = 0; i < context->nb_streams; ++i) {
            AVStream* stream = context->streams[i];
            if (stream->codecpar->codec_type != type ||
                (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
                stream->codecpar->codec_id == AV_CODEC_ID_NONE)
                continue;
            if (!best.Source || Rank(stream) > Rank(best.Source))
                best = TChosen{input.get(), stream, nullptr};
        }
    }
    return best;
}

// Only the chosen streams are read: a demuxer of a master playlist then
// fetches the segments of one variant, not of all of them.
void DiscardOthers(const std::vector<std::unique_ptr<TStreamInput>>& inputs,
                   const std::vector<TChosen>& chosen)
{
    for (const auto& input : inputs) {
        AVFormatContext* context = input->Context();
        for (unsigned i = 0; i < context->nb_streams; ++i) {
            bool wanted = false;
            for (const TChosen& c : chosen)
                wanted = wanted || c.Source == context->streams[i];
            context->streams[i]->discard = wanted ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
    }
}

int WriteToSink(void* opaque, uint8_t* data, int size)
{
    return static_cast<TStreamSink*>(opaque)->Write(data, size) ? size : AVERROR_EXIT;
}

// The output side: the muxer writing through a buffer into the sink.
class TOutput
{
public:
    ~TOutput()
    {
        if (m_context) {
            if (m_context->pb) {
                av_freep(&m_context->pb->buffer);
                avio_context_free(&m_context->pb);
            }
            avformat_free_context(m_context);
        }
    }

    std::string Create(const char* muxer, TStreamSink& sink)
    {
        if (avformat_alloc_output_context2(&m_context, nullptr, muxer, nullptr) < 0)
            return std::string("no muxer ") + muxer;
        auto* buffer = static_cast<unsigned char*>(av_malloc(OutputBufferBytes));
        if (buffer)
            m_context->pb = avio_alloc_context(buffer, OutputBufferBytes, 1, &sink, nullptr,
                                               &WriteToSink, nullptr);
        if (!m_context->pb) {
            av_free(buffer);
            return "out of memory";
        }
        m_context->flags |= AVFMT_FLAG_CUSTOM_IO;
        return {};
    }

    std::string AddStream(TChosen& chosen)
    {
        chosen.Target = avformat_new_stream(m_context, nullptr);
        if (!chosen.Target ||
            avcodec_parameters_copy(chosen.Target->codecpar, chosen.Source->codecpar) < 0)
            return "out of memory";
        chosen.Target->codecpar->codec_tag = 0;
        chosen.Target->time_base = chosen.Source->time_base;
        return {};
    }

    AVFormatContext* Context() const { return m_context; }

private:
    AVFormatContext* m_context = nullptr;
};

// The timestamps of every input start at 0 in the file, as each input's own
// start time says.
int64_t StartOffset(const TChosen& chosen)
{
    const int64_t start = chosen.Input->Context()->start_time;
    return start == AV_NOPTS_VALUE ? 0
                                   : av_rescale_q(start, AV_TIME_BASE_Q, chosen.Source->time_base);
}

// The packets of one input that belong to chosen streams, one at a time.
class TPacketQueue
{
public:
    explicit TPacketQueue(TStreamInput* input) : m_input(input), m_packet(av_packet_alloc()) {}

    // Reads the next packet of a chosen stream; false at the end (END is the
    // libraries' code, AVERROR_EOF for a clean end).
    bool Next(const std::vector<TChosen>& chosen, int* end)
    {
        for (;;) {
            av_packet_unref(m_packet.get());
            const int result = av_read_frame(m_input->Context(), m_packet.get());
            if (result < 0) {
                *end = result;
                m_held = nullptr;
                return false;
            }
            for (const TChosen& c : chosen) {
                if (c.Input == m_input && c.Source->index == m_packet->stream_index) {
                    m_held = &c;
                    return true;
                }
            }
        }
    }

    const TChosen* Held() const { return m_held; }
    AVPacket* Packet() const { return m_packet.get(); }
    TStreamInput* Input() const { return m_input; }

private:
    TStreamInput* m_input;
    TPacketPtr m_packet;
    const TChosen* m_held = nullptr;
};

// The queue whose held packet comes first in time.
TPacketQueue* Earliest(std::vector<TPacketQueue>& queues)
{
    TPacketQueue* earliest = nullptr;
    for (TPacketQueue& q : queues) {
        if (!q.Held())
            continue;
        if (!earliest) {
            earliest = &q;
            continue;
        }
        const AVPacket* a = q.Packet();
        const AVPacket* b = earliest->Packet();
        const int64_t ta = a->dts == AV_NOPTS_VALUE ? a->pts : a->dts;
        const int64_t tb = b->dts == AV_NOPTS_VALUE ? b->pts : b->dts;
        if (ta != AV_NOPTS_VALUE && tb != AV_NOPTS_VALUE &&
            av_compare_ts(ta - StartOffset(*q.Held()), q.Held()->Source->time_base,
                          tb - StartOffset(*earliest->Held()),
                          earliest->Held()->Source->time_base) < 0)
            earliest = &q;
    }
    return earliest;
}

std::string WritePacket(AVFormatContext* output, const TChosen& chosen, AVPacket* packet)
{
    const int64_t offset = StartOffset(chosen);
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts -= offset;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts -= offset;
    av_packet_rescale_ts(packet, chosen.Source->time_base, chosen.Target->time_base);
    packet->stream_index = chosen.Target->index;
    packet->pos = -1;
    const int result = av_interleaved_write_frame(output, packet);
    return result < 0 ? "writing the file: " + AvErrorText(result) : std::string();
}

// Moves every packet of the chosen streams into the output, in time order.
std::string CopyPackets(const std::vector<std::unique_ptr<TStreamInput>>& inputs,
                        const std::vector<TChosen>& chosen, AVFormatContext* output,
                        TStreamWatch& watch)
{
    std::vector<TPacketQueue> queues;
    for (const auto& input : inputs)
        queues.emplace_back(input.get());
    std::vector<int> ends(queues.size(), 0);
    for (size_t i = 0; i < queues.size(); ++i)
        queues[i].Next(chosen, &ends[i]);

    int64_t written = 0;
    while (TPacketQueue* next = Earliest(queues)) {
        watch.Touch();
        // A segment that broke off where its transfer cannot tell (a chunked
        // body cut on a closing connection) still shows as a cut packet.
        if (next->Packet()->flags & AV_PKT_FLAG_CORRUPT)
            return "damaged data in " + next->Input()->Url().toEncoded().toStdString();
        const std::string failure = WritePacket(output, *next->Held(), next->Packet());
        if (!failure.empty())
            return failure;
        ++written;
        const size_t i = static_cast<size_t>(next - queues.data());
        next->Next(chosen, &ends[i]);
    }
    for (size_t i = 0; i < queues.size(); ++i) {
        if (ends[i] != AVERROR_EOF && !watch.Failed())
            watch.Fail(queues[i].Input()->Url().toEncoded().toStdString() + ": " +
                       AvErrorText(ends[i]));
    }
    if (written == 0 && !watch.Failed())
        return "no media packets in the source";
    return {};
}

}  // namespace

std::string RemuxStream(const TStreamSource& source, TStreamSink& sink, TStreamWatch& watch)
{
    if (source.Inputs.isEmpty())
        return "no source link";
    std::vector<std::unique_ptr<TStreamInput>> inputs;
    for (const QUrl& url : source.Inputs) {
        inputs.push_back(std::make_unique<TStreamInput>(source, watch));
        if (!inputs.back()->Open(url))
            return watch.Failure();
    }

    std::vector<TChosen> chosen;
    for (const AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        const TChosen best = Best(inputs, type);
        if (best.Source)
            chosen.push_back(best);
    }
    if (chosen.empty())
        return "no video or audio in the source";
    DiscardOthers(inputs, chosen);

    AVCodecID video = AV_CODEC_ID_NONE;
    AVCodecID audio = AV_CODEC_ID_NONE;
    for (const TChosen& c : chosen)
        (c.Source->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? video : audio) =
            c.Source->codecpar->codec_id;
    const TStreamContainer container = ContainerFor(video, audio);

    TOutput output;
    std::string failure = output.Create(container.Muxer, sink);
    for (TChosen& c : chosen) {
        if (failure.empty())
            failure = output.AddStream(c);
    }
    if (!failure.empty())
        return failure;

    // The muxers write the duration into the file's header when they know it
    // at the start; the output cannot go back to fill it in later.
    for (const auto& input : inputs)
        output.Context()->duration =
            std::max(output.Context()->duration, input->Context()->duration);
    sink.Begin(container.ContentType);
    int result = avformat_write_header(output.Context(), nullptr);
    if (result < 0)
        return watch.Failed() ? watch.Failure() : "starting the file: " + AvErrorText(result);

    failure = CopyPackets(inputs, chosen, output.Context(), watch);
    if (!failure.empty())
        return failure;
    for (const auto& input : inputs)
        input->EndedCleanly();
    // Closing the inputs closes the segment connections a demuxer kept open;
    // an error seen on them fails the stream before the file is finished.
    inputs.clear();
    if (watch.Stopped())
        return "stopped";
    if (watch.Failed())
        return watch.Failure();
    result = av_write_trailer(output.Context());
    if (result >= 0) {
        avio_flush(output.Context()->pb);
        result = output.Context()->pb->error;
    }
    return result < 0 ? "finishing the file: " + AvErrorText(result) : std::string();
}
