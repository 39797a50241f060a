#include "tool/CoverPicture.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cstring>

#include "tool/LibraryError.h"
#include "tool/PictureComment.h"

namespace {

// Larger covers do not fit a FLAC picture block (24-bit length); no real
// cover comes near.
constexpr std::int64_t kMostCoverBytes = 16000000;

// The picture types of ID3 and FLAC, as FFmpeg's demuxers name them in the
// picture stream's comment.
constexpr const char* kPictureTypes[] = {
    "Other",
    "32x32 pixels 'file icon'",
    "Other file icon",
    "Cover (front)",
    "Cover (back)",
    "Leaflet page",
    "Media (e.g. label side of CD)",
    "Lead artist/lead performer/soloist",
    "Artist/performer",
    "Conductor",
    "Band/Orchestra",
    "Composer",
    "Lyricist/text writer",
    "Recording Location",
    "During recording",
    "During performance",
    "Movie/video screen capture",
    "A bright coloured fish",
    "Illustration",
    "Band/artist logotype",
    "Publisher/Studio logotype",
};

const char* MimeOf(AVCodecID id)
{
    switch (id) {
        case AV_CODEC_ID_PNG:
            return "image/png";
        case AV_CODEC_ID_MJPEG:
            return "image/jpeg";
        case AV_CODEC_ID_GIF:
            return "image/gif";
        case AV_CODEC_ID_BMP:
            return "image/bmp";
        default:
            return nullptr;
    }
}

const char* TagOf(const AVStream* st, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(st->metadata, key, nullptr, 0);
    return entry ? entry->value : nullptr;
}

std::uint32_t PictureType(const AVStream* st)
{
    const char* name = TagOf(st, "comment");
    for (std::uint32_t i = 0; name && i < std::size(kPictureTypes); ++i) {
        if (std::strcmp(name, kPictureTypes[i]) == 0)
            return i;
    }
    return FrontCoverType;
}

}  // namespace

TCoverPicture::TCoverPicture(const AVFormatContext* input)
{
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* st = input->streams[i];
        if ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) && st->attached_pic.size > 0 &&
            MimeOf(st->codecpar->codec_id)) {
            m_input = st;
            return;
        }
    }
}

TCoverPlace TCoverPicture::PlaceIn(const std::string& muxer) const
{
    if (!m_input || Bytes() > kMostCoverBytes)
        return TCoverPlace::None;
    const AVCodecID id = m_input->codecpar->codec_id;
    if (muxer == "mp3")
        return TCoverPlace::PictureStream;
    // QuickTime's covr holds PNG, JPEG and BMP; FFmpeg's FLAC muxer refuses
    // GIF pictures.
    if (muxer == "ipod" || muxer == "mp4" || muxer == "mov" || muxer == "flac")
        return id == AV_CODEC_ID_GIF ? TCoverPlace::None : TCoverPlace::PictureStream;
    if (muxer == "ogg" || muxer == "opus" || muxer == "oga" || muxer == "spx")
        return TCoverPlace::Comment;
    return TCoverPlace::None;
}

AVStream* TCoverPicture::AddStreamTo(AVFormatContext* output) const
{
    AVStream* st = avformat_new_stream(output, nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, m_input->codecpar) < 0)
        return nullptr;
    st->codecpar->codec_tag = 0;  // the output's own tag for the picture
    st->disposition = AV_DISPOSITION_ATTACHED_PIC;
    st->time_base = AVRational{1, 90000};
    // The muxers take the picture's description from its title and its type
    // from its comment; an M4A cover has neither and is a front cover.
    if (const char* title = TagOf(m_input, "title"))
        av_dict_set(&st->metadata, "title", title, 0);
    av_dict_set(&st->metadata, "comment", kPictureTypes[PictureType(m_input)], 0);
    return st;
}

bool TCoverPicture::WriteInto(AVFormatContext* output, const AVStream* stream,
                              std::string& error) const
{
    AVPacket* packet = av_packet_alloc();
    int rc = packet ? av_packet_ref(packet, &m_input->attached_pic) : AVERROR(ENOMEM);
    if (rc >= 0) {
        packet->stream_index = stream->index;
        packet->pts = 0;
        packet->dts = 0;
        packet->duration = 0;
        packet->pos = -1;
        packet->flags |= AV_PKT_FLAG_KEY;
        rc = av_interleaved_write_frame(output, packet);
    }
    av_packet_free(&packet);
    if (rc < 0) {
        error = "the cover picture cannot be written: " + ErrorText(rc);
        return false;
    }
    return true;
}

std::string TCoverPicture::CommentValue() const
{
    const AVCodecParameters* par = m_input->codecpar;
    TPictureFacts facts;
    facts.Type = PictureType(m_input);
    facts.Mime = MimeOf(par->codec_id);
    if (const char* title = TagOf(m_input, "title"))
        facts.Description = title;
    facts.Width = static_cast<std::uint32_t>(par->width > 0 ? par->width : 0);
    facts.Height = static_cast<std::uint32_t>(par->height > 0 ? par->height : 0);
    if (const AVPixFmtDescriptor* desc =
            av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par->format))) {
        facts.Depth = static_cast<std::uint32_t>(desc->nb_components * desc->comp[0].depth);
        if ((desc->flags & AV_PIX_FMT_FLAG_PAL) && facts.Depth <= 16)
            facts.Colours = 1u << facts.Depth;
    }
    facts.Data = m_input->attached_pic.data;
    facts.Size = static_cast<std::size_t>(m_input->attached_pic.size);
    return PictureCommentValue(facts);
}
