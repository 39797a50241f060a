#include "tool/SoundStreamChoice.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

int ChooseSoundStream(const AVFormatContext* input, const std::string& inputPath,
                      std::string& reason)
{
    reason.clear();
    const int best = av_find_best_stream(const_cast<AVFormatContext*>(input), AVMEDIA_TYPE_AUDIO,
                                         -1, -1, nullptr, 0);
    if (best >= 0)
        return best;
    int unusable = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters* par = input->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (par->sample_rate > 0 && par->ch_layout.nb_channels > 0 &&
            avcodec_find_decoder(par->codec_id))
            return static_cast<int>(i);
        if (unusable < 0)
            unusable = static_cast<int>(i);
    }
    if (unusable >= 0) {
        const AVCodecParameters* par = input->streams[unusable]->codecpar;
        reason = "'" + inputPath + "': damaged input: its audio stream #0." +
                 std::to_string(unusable) + " (" + avcodec_get_name(par->codec_id) +
                 ") cannot be read, and the output would have no sound";
    }
    return -1;
}
