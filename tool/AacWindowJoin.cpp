#include "tool/AacWindowJoin.h"

#include <optional>

namespace {

// The syntax elements of a raw AAC frame that matter here.
enum TAacElement
{
    SingleChannel = 0,
    ChannelPair = 1,
    LowFrequency = 3,
    DataStream = 4,
    Fill = 6,
};
constexpr int OnlyLongSequence = 0;

// The encoder's psychoacoustic model keeps a bit reservoir of its own: a
// fresh encoder starts with it full, and over a stream that uses its rate
// it drains by a few bits a frame, so one encoder has emptied it after half a
// minute or so (1,200 frames at 128 kbit/s stereo), and its rate control
// (lambda) has moved with it. A later encoder fed its lead-in at the
// stream's rate still has a full reservoir at its block and codes it up to
// several dB worse than one encoder. Fed at a higher rate (the encoder reads
// the context's bit rate at every frame), its frames overspend and empty the
// reservoir within a few frames; the last frames at the stream's own rate let
// lambda settle where one encoder's is. A stream that leaves bits unused
// (silence, a rate above what the sound needs) fills the reservoir again
// within those last frames, as one encoder's stays full.
constexpr int AacLeadInFrames = 24;
constexpr int AacSettleFrames = 6;

// Reads a packet's bits from the first, most significant first; reading past
// the end gives zeros and marks the reader spent.
class TBitReader
{
public:
    explicit TBitReader(const AVPacket* packet) : m_data(packet->data), m_bits(packet->size * 8) {}

    unsigned Read(int count)
    {
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++m_at) {
            const bool bit = m_at < m_bits && ((m_data[m_at / 8] >> (7 - m_at % 8)) & 1) != 0;
            value = (value << 1) | (bit ? 1u : 0u);
        }
        return value;
    }
    void Skip(long long count) { m_at += count; }
    void Align() { m_at = (m_at + 7) / 8 * 8; }
    bool Spent() const { return m_at > m_bits; }

private:
    const std::uint8_t* m_data;
    long long m_bits;
    long long m_at = 0;
};

struct TWindow
{
    unsigned Sequence = 0;
    unsigned Shape = 0;
};

// The window of the frame's first channel element, after any fill and data
// elements; nothing when the frame starts otherwise, or is a channel pair
// whose channels have windows of their own.
std::optional<TWindow> FirstWindow(const AVPacket* packet)
{
    if (!packet || packet->size <= 0)
        return std::nullopt;
    TBitReader bits(packet);
    for (;;) {
        const unsigned element = bits.Read(3);
        if (element == Fill) {
            long long count = bits.Read(4);
            if (count == 15)
                count += static_cast<long long>(bits.Read(8)) - 1;
            bits.Skip(8 * count);
        } else if (element == DataStream) {
            bits.Skip(4);
            const bool align = bits.Read(1) != 0;
            long long count = bits.Read(8);
            if (count == 255)
                count += bits.Read(8);
            if (align)
                bits.Align();
            bits.Skip(8 * count);
        } else if (element == SingleChannel || element == LowFrequency) {
            bits.Skip(4 + 8);  // element tag, global gain
            break;
        } else if (element == ChannelPair) {
            bits.Skip(4);
            if (bits.Read(1) == 0)  // no common window
                return std::nullopt;
            break;
        } else {
            return std::nullopt;
        }
        if (bits.Spent())
            return std::nullopt;
    }
    bits.Skip(1);  // ics_reserved_bit
    TWindow window;
    window.Sequence = bits.Read(2);
    window.Shape = bits.Read(1);
    if (bits.Spent())
        return std::nullopt;
    return window;
}

}  // namespace

bool TAacWindowJoin::Joins(const AVCodecContext* encoder)
{
    return encoder && encoder->ch_layout.nb_channels >= 1 && encoder->ch_layout.nb_channels <= 2;
}

int TAacWindowJoin::LeadInFrames() const
{
    return AacLeadInFrames;
}

std::int64_t TAacWindowJoin::LeadInBitRate(std::int64_t bitRate, int frame) const
{
    return frame < AacLeadInFrames - AacSettleFrames ? bitRate * 3 / 2 : bitRate;
}

int TAacWindowJoin::JoinCandidates() const
{
    return 8;
}

int TAacWindowJoin::PostRollFrames() const
{
    // The encoder holds one frame back and looks one ahead for its window
    // choice.
    return 2;
}

std::int64_t TAacWindowJoin::ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                                        std::int64_t from) const
{
    for (std::int64_t k = from; k < from + JoinCandidates(); ++k) {
        const std::optional<TWindow> windows[] = {
            FirstWindow(earlier.At(k - 1)), FirstWindow(earlier.At(k)),
            FirstWindow(later.At(k - 1)), FirstWindow(later.At(k))};
        bool fits = true;
        for (const std::optional<TWindow>& w : windows)
            fits = fits && w && w->Sequence == OnlyLongSequence && w->Shape == windows[0]->Shape;
        if (fits)
            return k;
    }
    return -1;
}
