#include "tool/SimilarEncoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include "tool/LibraryError.h"

namespace {

// The settings a sound encoder is opened with.
void CopySettings(const AVCodecContext* from, AVCodecContext* to)
{
    to->sample_rate = from->sample_rate;
    to->sample_fmt = from->sample_fmt;
    to->time_base = from->time_base;
    to->bit_rate = from->bit_rate;
    to->rc_max_rate = from->rc_max_rate;
    to->rc_min_rate = from->rc_min_rate;
    to->rc_buffer_size = from->rc_buffer_size;
    to->flags = from->flags;
    to->flags2 = from->flags2;
    to->global_quality = from->global_quality;
    to->compression_level = from->compression_level;
    to->cutoff = from->cutoff;
    to->profile = from->profile;
    to->strict_std_compliance = from->strict_std_compliance;
    // Each block's encoder is one thread: the blocks share the processors out.
    to->thread_count = 1;
}

}  // namespace

TCodecContext OpenSimilarEncoder(const AVCodecContext* opened, std::string& error)
{
    const AVCodec* codec = opened->codec;
    TCodecContext enc(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!enc) {
        error = "Out of memory";
        return nullptr;
    }
    CopySettings(opened, enc.get());
    int rc = av_channel_layout_copy(&enc->ch_layout, &opened->ch_layout);
    if (rc >= 0 && codec->priv_class && opened->priv_data && enc->priv_data)
        rc = av_opt_copy(enc->priv_data, opened->priv_data);
    if (rc >= 0)
        rc = avcodec_open2(enc.get(), codec, nullptr);
    if (rc < 0) {
        error = "Error while opening encoder " + std::string(codec->name) + ": " + ErrorText(rc);
        return nullptr;
    }
    return enc;
}
