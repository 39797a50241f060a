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
#include "tool/PacketDigest.h"
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

// What reading every packet of the file gave.
struct TPackets
{
    TReadBack Audio;
    TReadBack Video;
    // By stream index: the digests of the sound streams that were summed up
    // instead of decoded.
    std::vector<std::unique_ptr<TPacketDigest>> Digests;
};

TPacketDigest& DigestOf(TPackets& packets, int index)
{
    const auto at = static_cast<std::size_t>(index);
    if (at >= packets.Digests.size())
        packets.Digests.resize(at + 1);
    if (!packets.Digests[at])
        packets.Digests[at] = std::make_unique<TPacketDigest>();
    return *packets.Digests[at];
}

// Reads every packet of context; each goes to probe, or, for a sound stream
// when digestSound, into the stream's digest. False with the reason when the
// file cannot be read to its end.
bool ReadPackets(AVFormatContext* context, TFirstFrameProbe& probe, bool digestSound,
                 TPackets& packets, std::string& reason)
{
    // Streams may appear while reading (program streams announce them late).
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        reason = "out of memory while checking the finished file";
        return false;
    }
    int read = 0;
    while ((read = av_read_frame(context, packet)) >= 0 || read == AVERROR(EAGAIN)) {
        if (read < 0)
            continue;
        const AVStream* st = context->streams[packet->stream_index];
        const AVMediaType type = st->codecpar->codec_type;
        // A cover is checked whole below, not as pictures in time.
        const bool cover = st->disposition & AV_DISPOSITION_ATTACHED_PIC;
        TReadBack* kind = cover                        ? nullptr
                          : type == AVMEDIA_TYPE_AUDIO ? &packets.Audio
                          : type == AVMEDIA_TYPE_VIDEO ? &packets.Video
                                                       : nullptr;
        if (kind && packet->size > 0) {
            ++kind->Packets;
            if (std::find(kind->Streams.begin(), kind->Streams.end(), st->index) ==
                kind->Streams.end())
                kind->Streams.push_back(st->index);
            if (digestSound && kind == &packets.Audio)
                DigestOf(packets, st->index).Add(packet);
            else
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
    return true;
}

// The index of the file's one sound stream when it gives back the packets
// that were written and decoded beside the encode, for a decoder opened
// alike; else -1.
int WrittenStreamIndex(const AVFormatContext* context, TPackets& packets,
                       const TWrittenSound& written)
{
    if (packets.Audio.Streams.size() != 1)
        return -1;
    const int index = packets.Audio.Streams.front();
    TPacketDigest& digest = DigestOf(packets, index);
    if (!digest.IsAllocated() || !(digest.Finish() == written.Packets) ||
        !written.DecodesAlike(context->streams[index]->codecpar))
        return -1;
    return index;
}

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
                         const std::string& finalName, const TWrittenSound* written,
                         TReadBackDecode* decode)
{
    if (decode)
        *decode = TReadBackDecode::Whole;
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

    // A file of sound alone is decoded whole (cheap next to its encoding); a
    // video file through the first seconds of each stream.
    const bool soundOnly =
        std::none_of(expected.begin(), expected.end(),
                     [](const TExpectedStream& s) { return s.Video && s.CoverBytes == 0; });
    TFirstFrameProbe probe(soundOnly ? -1.0 : kDecodedVideoStretchSeconds);
    // Sound already decoded on its way in is only summed up here.
    const bool besideCandidate = written && soundOnly;
    TPackets packets;
    if (!ReadPackets(context.get(), probe, besideCandidate, packets, reason))
        return false;
    probe.Finish();
    int besideIndex = -1;
    if (besideCandidate) {
        besideIndex = WrittenStreamIndex(context.get(), packets, *written);
        if (besideIndex < 0) {
            // The file gives back other packets than were written (a muxer
            // that cuts them anew, or a file changed since): its sound is
            // decoded whole, and what the written packets gave counts too.
            context.reset();
            if (!CheckFinishedOutput(path, demuxer, expected, reason, finalName))
                return false;
            if (written->Problem.empty())
                return true;
            reason = "the finished file's audio does not decode cleanly (" + written->Problem + ")";
            return false;
        }
        if (decode)
            *decode = TReadBackDecode::Beside;
    }
    const auto gaveFrame = [&](int index) {
        return index == besideIndex ? written->Framed : probe.GaveFrame(index);
    };
    const auto problemOf = [&](int index) {
        return index == besideIndex ? written->Problem : probe.DecodeProblem(index);
    };

    for (const TExpectedStream& stream : expected) {
        if (stream.CoverBytes > 0) {
            if (!HoldsCover(context.get(), stream.CoverBytes, reason))
                return false;
            continue;
        }
        const TReadBack& back = stream.Video ? packets.Video : packets.Audio;
        const std::string kind = stream.Video ? "video" : "audio";
        if (back.Packets == 0) {
            reason = "the finished file holds no " + kind;
            return false;
        }
        if (std::none_of(back.Streams.begin(), back.Streams.end(), gaveFrame)) {
            reason = "the finished file's " + kind + " decodes to no frames";
            return false;
        }
        for (int index : back.Streams) {
            const std::string problem = problemOf(index);
            if (!problem.empty()) {
                reason =
                    "the finished file's " + kind + " does not decode cleanly (" + problem + ")";
                return false;
            }
        }
        const double seconds = back.Seconds();
        if (!DurationsAgree(seconds, stream.FedSeconds)) {
            reason = "the finished file holds " + SecondsText(seconds) + " s of " + kind +
                     ", but " + SecondsText(stream.FedSeconds) + " s were encoded";
            return false;
        }
    }
    return true;
}
