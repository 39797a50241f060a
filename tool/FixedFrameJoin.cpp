#include "tool/FixedFrameJoin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

// AC-3 adds one 16-bit word to a frame while the bits written so far fall
// short of bit rate x time. The shortfall, counted in units of a word x the
// sample rate, takes every value of its residue once within a window of one
// word: the pattern repeats once frames x 1536 x bit rate is a whole number
// of such units.
int Ac3Period(const AVCodecContext* encoder)
{
    const std::int64_t unit = 16LL * encoder->sample_rate;
    const std::int64_t perFrame = 1536LL * encoder->bit_rate;
    if (unit <= 0 || perFrame <= 0)
        return 0;
    return static_cast<int>(unit / std::gcd(unit, perFrame));
}

// MP2 adds one byte to a frame when a 16-bit fraction, stepped by the
// fractional part of the frame's size in bytes, overflows. The step is
// worked out as the encoder works it out, in the same float arithmetic.
int Mp2Step(const AVCodecContext* encoder)
{
    const int kbit = static_cast<int>(encoder->bit_rate / 1000);
    const int rate = encoder->sample_rate;
    if (kbit <= 0 || rate <= 0)
        return -1;
    const float size = static_cast<float>(static_cast<float>(kbit * 1000 * 1152) / (rate * 8.0));
    const double wide = size;
    return static_cast<int>((wide - std::floor(wide)) * 65536.0);
}

int Mp2Period(const AVCodecContext* encoder)
{
    const int step = Mp2Step(encoder);
    if (step < 0)
        return 0;
    if (step == 0)
        return 1;
    return 65536 / std::gcd(65536, step);
}

// Frames searched for the start nearest the stream's padding fraction: the
// nearest of 256 is about 128 / 65,536 off, so about one frame in 500 pads
// differently.
constexpr std::int64_t NearStartFrames = 256;

bool Named(const AVCodecContext* encoder, const char* name)
{
    return encoder->codec && std::strcmp(encoder->codec->name, name) == 0;
}

}  // namespace

std::int64_t TFixedFrameJoin::ChooseJoin(const TEncodedFrames& earlier, const TEncodedFrames& later,
                                         std::int64_t from) const
{
    // Later's packets take over on the block's first frame once earlier has
    // given every packet before it.
    return earlier.End() >= from && later.At(from) ? from : -1;
}

// The stream's encoder has stepped its fraction frame times by frame; a
// fresh encoder starts at 0, so the nearer that is to a whole turn, the
// fewer frames the two pad differently.
std::int64_t TFixedFrameJoin::EncoderStart(std::int64_t frame) const
{
    if (m_paddingStep <= 0) {
        const std::int64_t period = std::max(m_gridPeriod, 1);
        return (frame + period - 1) / period * period;
    }
    std::int64_t best = frame;
    std::int64_t bestDistance = 65536;
    for (std::int64_t n = frame; n < frame + NearStartFrames; ++n) {
        const std::int64_t fraction = n * m_paddingStep % 65536;
        const std::int64_t distance = std::min(fraction, 65536 - fraction);
        if (distance < bestDistance) {
            best = n;
            bestDistance = distance;
        }
    }
    return best;
}

int Mp2PaddingStep(const AVCodecContext* encoder)
{
    return Named(encoder, "mp2") || Named(encoder, "mp2fixed") ? std::max(Mp2Step(encoder), 0) : 0;
}

int FixedFramePeriod(const AVCodecContext* encoder)
{
    if (Named(encoder, "ac3") || Named(encoder, "ac3_fixed"))
        return Ac3Period(encoder);
    if (Named(encoder, "mp2") || Named(encoder, "mp2fixed"))
        return Mp2Period(encoder);
    if (Named(encoder, "wmav2"))
        return 1;
    return 0;
}
