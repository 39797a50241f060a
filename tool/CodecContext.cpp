#include "tool/CodecContext.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstring>

namespace {

// SVT-AV1 waits for its threads to see the end of the stream when it is
// closed, and for a picture before it ends a stream: closed without them (a
// later stream of the run failing to open, a failure midway) it waits for
// ever. A blank picture when it has had none, then the end; what it still
// gives is dropped.
void EndSvtAv1Stream(AVCodecContext* context)
{
    if (context->frame_number == 0) {
        AVFrame* blank = av_frame_alloc();
        if (blank) {
            blank->format = context->pix_fmt;
            blank->width = context->width;
            blank->height = context->height;
            blank->pts = 0;
            if (av_frame_get_buffer(blank, 0) >= 0) {
                for (int plane = 0; plane < AV_NUM_DATA_POINTERS && blank->buf[plane]; ++plane)
                    std::memset(blank->buf[plane]->data, 0, blank->buf[plane]->size);
                avcodec_send_frame(context, blank);
            }
            av_frame_free(&blank);
        }
    }
    if (avcodec_send_frame(context, nullptr) < 0)
        return;
    AVPacket* packet = av_packet_alloc();
    while (packet && avcodec_receive_packet(context, packet) >= 0)
        av_packet_unref(packet);
    av_packet_free(&packet);
}

}  // namespace

void TCodecContextFree::operator()(AVCodecContext* context) const
{
    if (context && avcodec_is_open(context) && av_codec_is_encoder(context->codec) &&
        std::strcmp(context->codec->name, "libsvtav1") == 0)
        EndSvtAv1Stream(context);
    avcodec_free_context(&context);
}
