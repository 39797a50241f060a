#include "tool/OutputCheck.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdint>
#include <memory>

#include "tool/DurationAccount.h"
#include "tool/FirstFrame.h"
#include "tool/LibraryError.h"
#include "tool/ProbeCheck.h"

namespace {

constexpr double kDecodedVideoStretchSeconds = 5.0;

struct TReadBack
{
    std::int64_t Packets = 0;
    TMediaSpan Span;           // from the packets' timestamps
    double SummedSeconds = 0;  // the packets' durations added up
    bool Timestamped = false;
    std::vector<int> Streams;  // the indices of the streams of this kind with packets

    double Seconds() const { return Timestamped ? Span.Seconds() : SummedSeconds; }
};

// False with the reason when the file has no attached picture of bytes bytes.
bool HoldsCover(const AVFormatContext* context, std::int64_t bytes, std::string& reason)
{
    std::int64_t found = -1;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* st = context->streams[i];
        if (!(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        found = st->attached_pic.size;
        if (found == bytes)
            return true;
    }
    reason = found < 0 ? std::string("the finished file holds no cover picture")
                       : "the finished file's cover picture holds " + std::to_string(found) +
                             " bytes, but " + std::to_string(bytes) + " were written";
    return false;
}

struct TInputCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

}  // namespace

std::string ReadBackDemuxer(const std::string& muxer)
{
    static const char* const kPairs[][2] = {
        {"ipod", "mov"}, {"mp4", "mov"},   {"3gp", "mov"},  {"3g2", "mov"},   {"dvd", "mpeg"},
        {"vob", "mpeg"}, {"svcd", "mpeg"}, {"vcd", "mpeg"}, {"mpeg", "mpeg"}, {"mov", "mov"},
    };
    for (const auto& pair : kPairs) {
        if (muxer == pair[0])
            return pair[1];
    }
    return av_find_input_format(muxer.c_str()) ? muxer : std::string();
}

bool CheckFinishedOutput(const std::string& path, const std::string& demuxer,
                         const std::vector<TExpectedStream>& expected, std::string& reason,
                         const std::string& finalName)
{
    const AVInputFormat* format = demuxer.empty() ? nullptr : av_find_input_format(demuxer.c_str());
    AVFormatContext* raw = nullptr;
    const std::string url = "file:" + path;
    const int rc = avformat_open_input(&raw, url.c_str(), format, nullptr);
    if (rc < 0) {
        reason = "the finished file does not open as " +
                 (demuxer.empty() ? std::string("media") : demuxer) + ": " + ErrorText(rc);
        return false;
    }
    std::unique_ptr<AVFormatContext, TInputCloser> context(raw);
    if (!RecognisedWithoutHint(path, finalName, demuxer, reason))
        return false;

    // Streams may appear while reading (program streams announce them late).
    TReadBack audio;
    TReadBack video;
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        reason = "out of memory while checking the finished file";
        return false;
    }
    // A file of sound alone is decoded whole (cheap next to its encoding); a
    // video file through the first seconds of each stream.
    const bool soundOnly =
        std::none_of(expected.begin(), expected.end(),
                     [](const TExpectedStream& s) { return s.Video && s.CoverBytes == 0; });
    TFirstFrameProbe probe(soundOnly ? -1.0 : kDecodedVideoStretchSeconds);
    int read = 0;
    while ((read = av_read_frame(context.get(), packet)) >= 0 || read == AVERROR(EAGAIN)) {
        if (read < 0)
            continue;
        const AVStream* st = context->streams[packet->stream_index];
        const AVMediaType type = st->codecpar->codec_type;
        // A cover is checked whole below, not as pictures in time.
        const bool cover = st->disposition & AV_DISPOSITION_ATTACHED_PIC;
        TReadBack* kind = cover                        ? nullptr
                          : type == AVMEDIA_TYPE_AUDIO ? &audio
                          : type == AVMEDIA_TYPE_VIDEO ? &video
                                                       : nullptr;
        if (kind && packet->size > 0) {
            ++kind->Packets;
            if (std::find(kind->Streams.begin(), kind->Streams.end(), st->index) ==
                kind->Streams.end())
                kind->Streams.push_back(st->index);
            probe.Feed(st, packet);
            const double tb = av_q2d(st->time_base);
            const double duration =
                packet->duration > 0 ? static_cast<double>(packet->duration) * tb : 0.0;
            kind->SummedSeconds += duration;
            const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (ts != AV_NOPTS_VALUE) {
                const double start = static_cast<double>(ts) * tb;
                kind->Span.Add(start, start + duration);
                kind->Timestamped = true;
            }
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (read != AVERROR_EOF) {
        reason = "the finished file cannot be read back: " + ErrorText(read);
        return false;
    }
    probe.Finish();

    for (const TExpectedStream& stream : expected) {
        if (stream.CoverBytes > 0) {
            if (!HoldsCover(context.get(), stream.CoverBytes, reason))
                return false;
            continue;
        }
        const TReadBack& back = stream.Video ? video : audio;
        const std::string kind = stream.Video ? "video" : "audio";
        if (back.Packets == 0) {
            reason = "the finished file holds no " + kind;
            return false;
        }
        if (std::none_of(back.Streams.begin(), back.Streams.end(),
                         [&probe](int index) { return probe.GaveFrame(index); })) {
            reason = "the finished file's " + kind + " decodes to no frames";
            return false;
        }
        for (int index : back.Streams) {
            const std::string problem = probe.DecodeProblem(index);
            if (!problem.empty()) {
                reason =
                    "the finished file's " + kind + " does not decode cleanly (" + problem + ")";
                return false;
            }
        }
        const double written = back.Seconds();
        if (!DurationsAgree(written, stream.FedSeconds)) {
            reason = "the finished file holds " + SecondsText(written) + " s of " + kind +
                     ", but " + SecondsText(stream.FedSeconds) + " s were encoded";
            return false;
        }
    }
    return true;
}
