#include "tool/DeviceFrame.h"

#include <algorithm>
#include <cmath>

#include "tool/OptionBounds.h"

namespace {

// Between 4:3 and 16:9: a picture at least this wide is shown as 16:9.
constexpr double kWideFrom = (4.0 / 3.0 + 16.0 / 9.0) / 2.0;

// Display aspects closer than this count as equal (a picture of 1281x721
// brought to 1280x720 fills its frame).
constexpr double kAspectTolerance = 0.01;

bool IsKnown(AVRational q)
{
    return q.num > 0 && q.den > 0;
}

// The ratio in terms no encoder refuses (MPEG-4 and H.263 keep 8 bits each).
AVRational Reduced(AVRational q)
{
    AVRational r{1, 1};
    if (IsKnown(q))
        av_reduce(&r.num, &r.den, q.num, q.den, 255);
    return r;
}

std::string SizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

int EvenAtLeastTwo(long value)
{
    return static_cast<int>(std::max(2L, value - value % 2));
}

}  // namespace

std::optional<TDeviceFrame> DeviceFrameFor(const std::string& muxer, AVCodecID codec,
                                           AVRational frameRate, AVRational inputAspect)
{
    const bool wide = IsKnown(inputAspect) && av_q2d(inputAspect) >= kWideFrom;
    const AVRational shown = wide ? AVRational{16, 9} : AVRational{4, 3};
    if (muxer == "dvd" && codec == AV_CODEC_ID_MPEG2VIDEO) {
        const double rate = IsKnown(frameRate) ? av_q2d(frameRate) : 0;
        const bool pal = rate > 0 && std::fabs(rate - 25.0) < std::fabs(rate - 30000.0 / 1001.0);
        if (pal)
            return TDeviceFrame{"PAL DVD", 720, 576, shown, {25, 1}};
        return TDeviceFrame{"NTSC DVD", 720, 480, shown, {30000, 1001}};
    }
    if (muxer == "mp4" && codec == AV_CODEC_ID_MPEG4) {
        // Square pixels: the frame's shape is its display aspect.
        if (wide)
            return TDeviceFrame{"PSP", 480, 272, {480, 272}, {0, 1}};
        return TDeviceFrame{"PSP", 320, 240, {4, 3}, {0, 1}};
    }
    return std::nullopt;
}

AVRational DisplayAspectOf(int width, int height, AVRational sampleAspect)
{
    if (width <= 0 || height <= 0)
        return AVRational{0, 1};
    const AVRational frame{width, height};
    return av_mul_q(frame, IsKnown(sampleAspect) ? sampleAspect : AVRational{1, 1});
}

bool CarriesAspect(const std::string& muxer, AVCodecID codec)
{
    // Windows Media video and Flash video have no field for it, and players
    // ignore what an ASF header could add.
    if (muxer == "asf" || muxer == "flv")
        return false;
    return codec != AV_CODEC_ID_WMV1 && codec != AV_CODEC_ID_WMV2 && codec != AV_CODEC_ID_FLV1;
}

TPictureShape ShapePicture(const std::string& muxer, AVCodecID codec, int inWidth, int inHeight,
                           AVRational inSar, bool sizeChosen, int width, int height,
                           AVRational frameRate)
{
    TPictureShape shape;
    shape.Width = width;
    shape.Height = height;
    shape.FrameRate = frameRate;
    const AVRational inAspect = DisplayAspectOf(inWidth, inHeight, inSar);
    const std::optional<TDeviceFrame> device =
        sizeChosen ? std::nullopt : DeviceFrameFor(muxer, codec, frameRate, inAspect);
    if (device) {
        shape.Width = device->Width;
        shape.Height = device->Height;
        if (IsKnown(device->FrameRate))
            shape.FrameRate = device->FrameRate;
        shape.SampleAspect =
            Reduced(av_div_q(device->DisplayAspect, AVRational{shape.Width, shape.Height}));
        const bool wide = av_q2d(device->DisplayAspect) >= kWideFrom;
        if (shape.Width != width || shape.Height != height ||
            av_cmp_q(shape.FrameRate, frameRate) != 0)
            shape.Note = "Frame size " + SizeText(inWidth, inHeight) + " is not what a " +
                         device->Name + " plays: using " + SizeText(shape.Width, shape.Height) +
                         " at " + FrameRateText({shape.FrameRate.num, shape.FrameRate.den}) +
                         " frames/s, display aspect " + (wide ? "16:9" : "4:3");
        return shape;
    }
    if (!CarriesAspect(muxer, codec) || !IsKnown(inAspect) || width <= 0 || height <= 0)
        return shape;  // square pixels; PictureFilter letterboxes
    shape.SampleAspect = Reduced(av_div_q(inAspect, AVRational{width, height}));
    return shape;
}

std::string PictureFilter(int inWidth, int inHeight, AVRational inSar, int outWidth, int outHeight,
                          AVRational outSar)
{
    const AVRational sar = IsKnown(outSar) ? outSar : AVRational{1, 1};
    const AVRational inAspect = DisplayAspectOf(inWidth, inHeight, inSar);
    int width = outWidth;
    int height = outHeight;
    if (IsKnown(inAspect) && outWidth > 0 && outHeight > 0) {
        const double picture = av_q2d(inAspect);
        const double frame = outWidth * av_q2d(sar) / outHeight;
        if (picture > frame * (1 + kAspectTolerance))
            height = EvenAtLeastTwo(std::lround(outHeight * frame / picture));
        else if (picture < frame / (1 + kAspectTolerance))
            width = EvenAtLeastTwo(std::lround(outWidth * picture / frame));
    }
    std::string text =
        "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=bicubic";
    if (width != outWidth || height != outHeight) {
        const int x = ((outWidth - width) / 2) & ~1;
        const int y = ((outHeight - height) / 2) & ~1;
        text += ",pad=" + std::to_string(outWidth) + ":" + std::to_string(outHeight) + ":" +
                std::to_string(x) + ":" + std::to_string(y) + ":black";
    }
    text += ",setsar=r=" + std::to_string(sar.num) + "/" + std::to_string(sar.den) + ":max=255";
    return text;
}
