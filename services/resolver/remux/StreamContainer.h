#pragma once

// The container a stream is served in: FLV when its codecs fit FLV (H.264
// video, AAC or MP3 audio), so the ".flv" name of the link is true; WebM for
// VP8/VP9/AV1 with Vorbis/Opus; Matroska for everything else, since it holds
// any codec.

extern "C" {
#include <libavcodec/codec_id.h>
}

struct TStreamContainer
{
    const char* Muxer;        // the libavformat muxer's name
    const char* ContentType;  // the Content-Type it is served with
};

// VIDEO or AUDIO is AV_CODEC_ID_NONE when the stream has no such part.
TStreamContainer ContainerFor(AVCodecID video, AVCodecID audio);
