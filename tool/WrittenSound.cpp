#include "tool/WrittenSound.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <cstdint>
#include <cstring>

namespace {

// Which of the parameters that containers' readers fill in from fields of
// their own (an M4A's average bit rate, the ASF reader's 16 bits a sample,
// where the encoder leaves 0) a decoder takes. These decoders take what they
// need from every frame's header or from the codec's own header; WMA chooses
// its tables by the bit rate. A decoder not named here takes both.
struct TDecoderInput
{
    AVCodecID Codec;
    bool BitRate;
    bool SampleBits;
};

constexpr TDecoderInput kDecoderInputs[] = {
    {AV_CODEC_ID_MP2, false, false},    {AV_CODEC_ID_MP3, false, false},
    {AV_CODEC_ID_AC3, false, false},    {AV_CODEC_ID_AAC, false, false},
    {AV_CODEC_ID_OPUS, false, false},   {AV_CODEC_ID_WMAV2, true, false},
    {AV_CODEC_ID_VORBIS, false, false},
};

struct TBytes
{
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;

    bool operator==(const TBytes& other) const
    {
        return Size == other.Size && (Size == 0 || std::memcmp(Data, other.Data, Size) == 0);
    }
};

// The three headers of a Vorbis stream in its codec header: 2 (three less
// one), the sizes of the first two (each as bytes of 255 and a last byte
// under it), then the headers. False when it is not so laid out.
bool SplitVorbisHeaders(const AVCodecParameters* parameters, TBytes (&headers)[3])
{
    const std::uint8_t* at = parameters->extradata;
    const std::uint8_t* end =
        at + (parameters->extradata_size > 0 ? parameters->extradata_size : 0);
    if (at == end || *at++ != 2)
        return false;
    std::size_t sizes[2] = {};
    for (std::size_t& size : sizes) {
        for (;;) {
            if (at == end)
                return false;
            const std::uint8_t byte = *at++;
            size += byte;
            if (byte < 255)
                break;
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (static_cast<std::size_t>(end - at) < sizes[i])
            return false;
        headers[i] = {at, sizes[i]};
        at += sizes[i];
    }
    headers[2] = {at, static_cast<std::size_t>(end - at)};
    return true;
}

// The same codec header for the decoder. The Vorbis decoder reads the first
// and the last of the three headers; the middle one holds the tags, which
// the Ogg muxer writes anew.
bool SameCodecHeader(const AVCodecParameters* written, const AVCodecParameters* demuxed)
{
    if (written->codec_id == AV_CODEC_ID_VORBIS) {
        TBytes a[3];
        TBytes b[3];
        if (SplitVorbisHeaders(written, a) && SplitVorbisHeaders(demuxed, b))
            return a[0] == b[0] && a[2] == b[2];
    }
    const auto bytes = [](const AVCodecParameters* p) {
        return TBytes{p->extradata,
                      static_cast<std::size_t>(p->extradata_size > 0 ? p->extradata_size : 0)};
    };
    return bytes(written) == bytes(demuxed);
}

// The same channels: as many, and the same ones where both say which (a
// reader that has not looked into the frames knows only how many).
bool SameChannels(const AVChannelLayout& written, const AVChannelLayout& demuxed)
{
    if (written.nb_channels != demuxed.nb_channels)
        return false;
    if (written.order == AV_CHANNEL_ORDER_UNSPEC || demuxed.order == AV_CHANNEL_ORDER_UNSPEC)
        return true;
    return av_channel_layout_compare(&written, &demuxed) == 0;
}

TDecoderInput InputOf(AVCodecID codec)
{
    for (const TDecoderInput& input : kDecoderInputs) {
        if (input.Codec == codec)
            return input;
    }
    return {codec, true, true};
}

}  // namespace

bool TWrittenSound::DecodesAlike(const AVCodecParameters* demuxed) const
{
    const AVCodecParameters* written = Parameters.get();
    if (!written || !demuxed || written->codec_id != demuxed->codec_id)
        return false;
    const TDecoderInput input = InputOf(written->codec_id);
    return written->sample_rate == demuxed->sample_rate &&
           SameChannels(written->ch_layout, demuxed->ch_layout) &&
           written->block_align == demuxed->block_align &&
           (!input.BitRate || written->bit_rate == demuxed->bit_rate) &&
           (!input.SampleBits ||
            written->bits_per_coded_sample == demuxed->bits_per_coded_sample) &&
           SameCodecHeader(written, demuxed);
}

bool ReadsBackAsWritten(const char* muxer)
{
    return muxer && std::strcmp(muxer, "flac") != 0 && std::strcmp(muxer, "avi") != 0;
}
