#include "tool/WrittenSound.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

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
    {AV_CODEC_ID_MP2, false, false},  {AV_CODEC_ID_MP3, false, false},
    {AV_CODEC_ID_AC3, false, false},  {AV_CODEC_ID_AAC, false, false},
    {AV_CODEC_ID_OPUS, false, false}, {AV_CODEC_ID_WMAV2, true, false},
};

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
           written->extradata_size == demuxed->extradata_size &&
           (written->extradata_size == 0 ||
            std::memcmp(written->extradata, demuxed->extradata,
                        static_cast<std::size_t>(written->extradata_size)) == 0);
}
