#include "tool/EncoderFeed.h"

int FeedEncoder(AVCodecContext* encoder, const AVFrame* frame, AVPacket* scratch,
                const std::function<bool(AVPacket*)>& take)
{
    int rc = avcodec_send_frame(encoder, frame);
    if (rc < 0 && rc != AVERROR_EOF)
        return rc;
    for (;;) {
        rc = avcodec_receive_packet(encoder, scratch);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return 0;
        if (rc < 0)
            return rc;
        const bool taken = take(scratch);
        av_packet_unref(scratch);
        if (!taken)
            return FeedRefused;
    }
}
