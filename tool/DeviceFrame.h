// The shape of the output picture: the frame a device's format needs (DVD,
// PSP), and a scaled picture that keeps the input's display aspect, told by
// the output's sample aspect where the output can carry one and letterboxed
// where it cannot.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <optional>
#include <string>

// A frame that a device plays: DVD players take 720x480 at 29.97 frames/s
// (NTSC) or 720x576 at 25 (PAL) shown at 16:9 or 4:3; the PSP plays 480x272
// (wide) and 320x240 (4:3) with square pixels.
struct TDeviceFrame
{
    std::string Name;  // "NTSC DVD", "PAL DVD", "PSP"
    int Width = 0;
    int Height = 0;
    AVRational DisplayAspect{0, 1};  // of the whole frame
    AVRational FrameRate{0, 1};      // {0, 1}: the rate chosen stays
};

// The device an output is for, told by its muxer and video encoder: MPEG-2
// video in the "dvd" muxer is a DVD (PAL when FRAMERATE is nearer 25 than
// 29.97, else NTSC), MPEG-4 Part 2 video in "mp4" is for the PSP. The input's
// display aspect INPUTASPECT chooses the wide or the 4:3 frame. Nothing for
// any other output.
std::optional<TDeviceFrame> DeviceFrameFor(const std::string& muxer, AVCodecID codec,
                                           AVRational frameRate, AVRational inputAspect);

// The display aspect of a WIDTH x HEIGHT picture with SAMPLEASPECT (an
// unknown one, 0 or negative, counts as square pixels).
AVRational DisplayAspectOf(int width, int height, AVRational sampleAspect);

// Whether players take the picture's aspect from an output of MUXER with
// video of CODEC; where they do not, a picture is letterboxed instead.
bool CarriesAspect(const std::string& muxer, AVCodecID codec);

struct TPictureShape
{
    int Width = 0;  // of the output frame
    int Height = 0;
    AVRational FrameRate{25, 1};
    AVRational SampleAspect{1, 1};  // the output's
    std::string Note;               // a line for the console, or ""
};

// The output picture for an input of INWIDTH x INHEIGHT with INSAR: a
// device's frame when the output is for one and no size was chosen
// (SIZECHOSEN), else WIDTH x HEIGHT at FRAMERATE (already brought to what the
// encoder takes), with the sample aspect that keeps the input's display aspect
// where the output can carry it.
TPictureShape ShapePicture(const std::string& muxer, AVCodecID codec, int inWidth, int inHeight,
                           AVRational inSar, bool sizeChosen, int width, int height,
                           AVRational frameRate);

// The filters that bring a picture of INWIDTH x INHEIGHT with INSAR into
// OUTWIDTH x OUTHEIGHT shown with OUTSAR: scaled with its display aspect kept,
// centred, the rest black, the output's sample aspect set.
std::string PictureFilter(int inWidth, int inHeight, AVRational inSar, int outWidth, int outHeight,
                          AVRational outSar);
