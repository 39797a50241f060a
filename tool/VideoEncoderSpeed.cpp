#include "tool/VideoEncoderSpeed.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

// libvpx's "good" deadline at speed 4, rows of a tile in threads of their
// own: near its best speed for files, a little over x264's time.
void SetVp9Speed(AVCodecContext* enc)
{
    av_opt_set(enc->priv_data, "deadline", "good", 0);
    av_opt_set_int(enc->priv_data, "cpu-used", 4, 0);
    av_opt_set_int(enc->priv_data, "row-mt", 1, 0);
}

// x265 at its usual preset; its frame threads come from the thread count,
// its worker pool is bounded here. It writes its messages itself (not
// through the libraries' log), so they are kept to errors.
void SetX265Speed(AVCodecContext* enc, int threads)
{
    std::string params = "log-level=error";
    if (threads > 0)
        params += ":pools=" + std::to_string(threads) +
                  ":frame-threads=" + std::to_string(std::min(threads, 4));
    av_opt_set(enc->priv_data, "x265-params", params.c_str(), 0);
}

// SVT-AV1 at the preset that codes a 1080p minute in a few minutes on a
// desktop (see docs/ffmod.md); "lp" bounds the processors it uses. Its
// messages go to the console directly unless SVT_LOG lowers their level
// (1: errors), which a user's own setting overrides.
void SetSvtAv1Speed(AVCodecContext* enc, int threads)
{
    av_opt_set_int(enc->priv_data, "preset", 8, 0);
    if (threads > 0) {
        const std::string params = "lp=" + std::to_string(threads);
        av_opt_set(enc->priv_data, "svtav1-params", params.c_str(), 0);
    }
    setenv("SVT_LOG", "1", 0);
}

}  // namespace

void ApplyVideoEncoderSpeed(AVCodecContext* enc, int threads)
{
    const std::string name = enc->codec->name;
    if (name == "libvpx-vp9")
        SetVp9Speed(enc);
    else if (name == "libx265")
        SetX265Speed(enc, threads);
    else if (name == "libsvtav1")
        SetSvtAv1Speed(enc, threads);
}
