#include "tool/AudioSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tool/Console.h"
#include "tool/EncoderLimits.h"
#include "tool/OptionBounds.h"

namespace {

int ChooseSampleRate(const AVCodec* codec, const AVCodecContext* dec, const TToolOptions& options,
                     const std::string& muxer)
{
    const std::string encName = codec->name;
    int rate = options.SampleRate.IsGiven() ? options.SampleRate.Value : dec->sample_rate;
    if (rate <= 0)
        rate = 44100;
    std::vector<std::int64_t> rates;
    if (codec->supported_samplerates) {
        for (const int* r = codec->supported_samplerates; *r; ++r)
            rates.push_back(*r);
    } else {
        rates = AllowedSampleRates(encName);
    }
    if (muxer == "dvd")
        rates = {48000};  // what a DVD player plays
    if (muxer == "flv" && codec->id == AV_CODEC_ID_MP3)
        rates = {44100, 22050, 11025};  // the only MP3 rates Flash video has
    const int onlyRate = OnlySampleRate(encName);
    if (onlyRate) {
        if (rate != onlyRate)
            WriteLine("Sample rate " + std::to_string(rate) + " Hz is not supported by " + encName +
                      " (Opus always encodes at " + std::to_string(onlyRate) + " Hz): using " +
                      std::to_string(onlyRate) + " Hz");
        rate = onlyRate;
    } else if (!rates.empty()) {
        const int nearest = static_cast<int>(NearestValue(rate, rates));
        if (nearest != rate)
            WriteLine("Sample rate " + std::to_string(rate) + " Hz is not supported by " + encName +
                      ": using " + std::to_string(nearest) + " Hz");
        rate = nearest;
    } else {
        std::string note;
        rate = BoundedSampleRate(rate, encName, note);
        if (!note.empty())
            WriteLine(note);
    }
    return rate;
}

// The channel count; layout gets its layout.
int ChooseChannels(const AVCodec* codec, const AVCodecContext* dec, const TToolOptions& options,
                   AVChannelLayout& layout)
{
    const std::string encName = codec->name;
    int channels = options.Channels.IsGiven() ? options.Channels.Value : dec->ch_layout.nb_channels;
    if (channels <= 0)
        channels = 2;
    int maxChannels = MaxAudioChannels(encName);
    if (codec->ch_layouts && codec->ch_layouts[0].nb_channels) {
        int best = 0;
        for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
            const int n = l->nb_channels;
            if (n <= channels && n > best)
                best = n;
        }
        if (best == 0)
            best = codec->ch_layouts[0].nb_channels;
        maxChannels = maxChannels ? std::min(maxChannels, best) : best;
    }
    if (maxChannels && channels > maxChannels) {
        WriteLine(std::to_string(channels) + " channels are more than " + encName +
                  " takes: using " + std::to_string(maxChannels));
        channels = maxChannels;
    }
    const std::uint64_t requiredMask = RequiredChannelMask(encName, channels);
    if (requiredMask)
        av_channel_layout_from_mask(&layout, requiredMask);
    else if (channels == dec->ch_layout.nb_channels &&
             dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
        av_channel_layout_copy(&layout, &dec->ch_layout);
    else
        av_channel_layout_default(&layout, channels);
    if (codec->ch_layouts && codec->ch_layouts[0].nb_channels) {
        bool listed = false;
        for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l)
            listed = listed || av_channel_layout_compare(l, &layout) == 0;
        if (!listed) {
            for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
                if (l->nb_channels == channels) {
                    av_channel_layout_uninit(&layout);
                    av_channel_layout_copy(&layout, l);
                    break;
                }
            }
        }
    }
    return channels;
}

// The decoder's sample format when the encoder takes it.
AVSampleFormat ChooseSampleFormat(const AVCodec* codec, const AVCodecContext* dec)
{
    AVSampleFormat format = codec->sample_fmts ? codec->sample_fmts[0] : dec->sample_fmt;
    if (codec->sample_fmts) {
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == dec->sample_fmt)
                format = *f;
        }
    }
    return format;
}

void ChooseBitRate(const AVCodec* codec, const AVCodecContext* dec, const AVStream* in,
                   const TToolOptions& options, TAudioChoice& choice)
{
    const std::string encName = codec->name;
    const int rate = choice.SampleRate;
    const int channels = choice.Channels;
    const bool isVorbis = encName == "libvorbis" || encName == "vorbis";
    const bool isPcm = codec->id >= AV_CODEC_ID_PCM_S16LE && codec->id < AV_CODEC_ID_ADPCM_IMA_QT;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    const bool isLossless = !isPcm && descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS) &&
                            !(descriptor->props & AV_CODEC_PROP_LOSSY);
    const bool takesQuality = isVorbis || encName == "libmp3lame" || encName == "aac";
    std::int64_t bitRate = 0;  // 0: the encoder's default
    bool useQuality = false;
    double quality = 0;
    bool fromInput = false;
    if (options.AudioQuality.IsGiven()) {
        const double q = options.AudioQuality.Value;
        if (isVorbis && q > 10) {
            // Above vorbis' quality scale the value is a target bit rate.
            bitRate = std::llround(options.AudioQualityHasSuffix ? q : q * 1000);
        } else if (takesQuality) {
            useQuality = true;
            quality = q;
        } else {
            WriteLine(encName + " has no quality setting: -aq is ignored");
        }
    }
    if (!useQuality && bitRate == 0) {
        if (options.AudioBitRate.IsGiven()) {
            bitRate = options.AudioBitRate.Value;
        } else if (options.AudioBitRate.State == TSettingState::SameAsInput ||
                   options.SameQuality > 0) {
            bitRate = dec->bit_rate > 0 ? dec->bit_rate : in->codecpar->bit_rate;
            fromInput = true;
        }
    }
    if (isPcm || isLossless) {
        // The sound is kept whole: there is no rate to choose.
        if (options.AudioBitRate.IsGiven())
            WriteLine("The bit rate does not apply to " + encName +
                      (isPcm ? " (uncompressed): the audio keeps its full rate"
                             : " (lossless): the audio is kept whole"));
        bitRate = 0;
        useQuality = false;
    }
    if (bitRate > 0) {
        const std::vector<std::int64_t> allowed = AllowedAudioBitRates(encName, rate);
        std::int64_t lowest = 0;
        std::int64_t highest = 0;
        AudioBitRateRange(encName, rate, channels, lowest, highest);
        std::int64_t bounded = allowed.empty() ? bitRate : NearestValue(bitRate, allowed);
        if (lowest && bounded < lowest)
            bounded = lowest;
        if (highest && bounded > highest)
            bounded = highest;
        if (bounded != bitRate)
            WriteLine(std::string(fromInput ? "The input's audio bit rate " : "Audio bit rate ") +
                      Kbit(bitRate) + " kb/s is not supported by " + encName + " at " +
                      std::to_string(rate) + " Hz: using " + Kbit(bounded) + " kb/s");
        bitRate = bounded;
    }
    choice.BitRate = bitRate;
    choice.Whole = isPcm || isLossless;
    choice.UseQuality = useQuality;
    choice.Quality = quality;
}

}  // namespace

std::string Kbit(std::int64_t bitRate)
{
    char buffer[32];
    if (bitRate % 1000 == 0)
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(bitRate / 1000));
    else
        std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(bitRate) / 1000.0);
    return buffer;
}

void ChooseAudioSettings(const AVCodec* codec, const AVCodecContext* dec, const AVStream* in,
                         const TToolOptions& options, const std::string& muxer,
                         TAudioChoice& choice)
{
    choice.SampleRate = ChooseSampleRate(codec, dec, options, muxer);
    choice.Channels = ChooseChannels(codec, dec, options, choice.Layout);
    choice.Format = ChooseSampleFormat(codec, dec);
    ChooseBitRate(codec, dec, in, options, choice);
}

std::vector<std::int64_t> AudioBitRateTries(std::int64_t bitRate)
{
    std::vector<std::int64_t> tries{bitRate};
    if (bitRate > 0) {
        std::vector<std::int64_t> ladder;
        for (int k : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 500})
            ladder.push_back(static_cast<std::int64_t>(k) * 1000);
        std::stable_sort(ladder.begin(), ladder.end(), [bitRate](auto a, auto b) {
            return std::llabs(a - bitRate) < std::llabs(b - bitRate);
        });
        tries.insert(tries.end(), ladder.begin(), ladder.end());
        tries.push_back(0);
    }
    return tries;
}
