#include "services/resolver/remux/StreamContainer.h"

#include <initializer_list>

namespace {

bool OneOf(AVCodecID codec, std::initializer_list<AVCodecID> codecs)
{
    if (codec == AV_CODEC_ID_NONE)
        return true;
    for (const AVCodecID candidate : codecs) {
        if (codec == candidate)
            return true;
    }
    return false;
}

}  // namespace

TStreamContainer ContainerFor(AVCodecID video, AVCodecID audio)
{
    if (OneOf(video, {AV_CODEC_ID_H264}) && OneOf(audio, {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3}))
        return {"flv", "video/x-flv"};
    if (OneOf(video, {AV_CODEC_ID_VP8, AV_CODEC_ID_VP9, AV_CODEC_ID_AV1}) &&
        OneOf(audio, {AV_CODEC_ID_VORBIS, AV_CODEC_ID_OPUS}))
        return {"webm", "video/webm"};
    return {"matroska", "video/x-matroska"};
}
