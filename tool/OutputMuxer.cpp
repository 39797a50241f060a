#include "tool/OutputMuxer.h"

#include <cstring>

#include "tool/Console.h"
#include "tool/LibraryError.h"
#include "tool/OptionBounds.h"
#include "tool/PictureComment.h"

#include "base/AsciiCase.h"

namespace {

// True when tags holds key with some text.
bool HasText(const AVDictionary* tags, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0);
    return entry && entry->value[0] != '\0';
}

// The muxers of the Ogg family, which keep tags on the streams.
bool IsOgg(const char* muxer)
{
    for (const char* name : {"ogg", "opus", "oga", "spx"}) {
        if (std::strcmp(muxer, name) == 0)
            return true;
    }
    return false;
}

std::string ExtensionOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return AsciiLowerCase(path.substr(dot + 1));
}

}  // namespace

bool TMuxedStream::Write(AVPacket* packet, AVRational timeBase, std::string& error)
{
    packet->stream_index = m_stream->index;
    av_packet_rescale_ts(packet, timeBase, m_stream->time_base);
    // Outside the muxer's lock, so that a wait for room in the checker's
    // queue holds up nothing that reads the file's position.
    if (m_check && !m_gate.Closed)
        m_check->Add(packet);
    std::lock_guard lock(m_gate.Lock);
    if (m_gate.Closed) {
        error = "Writing '" + m_name + "' was stopped";
        return false;
    }
    const int rc = av_interleaved_write_frame(m_output, packet);
    if (rc < 0) {
        error = "Error while writing '" + m_name + "': " + ErrorText(rc);
        return false;
    }
    return true;
}

void TMuxedStream::CheckBeside()
{
    m_check = std::make_unique<TWrittenSoundCheck>(m_stream);
}

void TMuxedStream::StopCheck()
{
    if (m_check)
        m_check->Stop();
}

std::optional<TWrittenSound> TMuxedStream::FinishCheck()
{
    return m_check ? m_check->Finish() : std::nullopt;
}

TOutputMuxer::~TOutputMuxer()
{
    if (m_context) {
        if (m_context->pb)
            avio_closep(&m_context->pb);
        avformat_free_context(m_context);
    }
}

bool TOutputMuxer::Create(std::string& error)
{
    m_container = FindContainer(ExtensionOf(m_path));
    const AVOutputFormat* format = nullptr;
    if (m_container)
        format = av_guess_format(m_container->Muxer, nullptr, nullptr);
    else
        format = av_guess_format(nullptr, m_path.c_str(), nullptr);
    if (!format) {
        error = "Unable to find a suitable output format for '" + m_path + "'";
        return false;
    }
    if (avformat_alloc_output_context2(&m_context, format, nullptr, nullptr) < 0 || !m_context) {
        error = "Out of memory";
        return false;
    }
    return true;
}

bool TOutputMuxer::WritesAudioOnly() const
{
    return m_container ? m_container->VideoEncoder == nullptr
                       : Format()->video_codec == AV_CODEC_ID_NONE;
}

TMuxedStream* TOutputMuxer::AddStream(const AVCodecContext* encoder, AVRational frameRate)
{
    AVStream* stream = avformat_new_stream(m_context, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder) < 0)
        return nullptr;
    stream->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        stream->avg_frame_rate = frameRate;
        stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
    }
    m_headerBytes += encoder->extradata_size;
    m_streams.push_back(std::make_unique<TMuxedStream>(m_context, stream, m_path, m_gate));
    return m_streams.back().get();
}

void TOutputMuxer::SetTags(const AVDictionary* inputTags, const TToolOptions& options)
{
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(inputTags, "", tag, AV_DICT_IGNORE_SUFFIX)))
        SetTag(tag->key, tag->value);
    // The user's own copyright and comment stay; the command line's texts
    // fill them where the input has none. (The keys are libavformat's: each
    // muxer writes them as its own field, ID3 TCOP and COMM, ASF's content
    // description, QuickTime's cprt and comment, Vorbis COPYRIGHT and
    // DESCRIPTION.)
    if (options.Copyright && !HasText(m_context->metadata, "copyright"))
        SetTag("copyright", options.Copyright->c_str());
    if (options.Comment && !HasText(m_context->metadata, "comment"))
        SetTag("comment", options.Comment->c_str());
    // Ogg keeps its tags in the streams' comment headers.
    if (IsOgg(Format()->name)) {
        for (const auto& stream : m_streams)
            av_dict_copy(&stream->Stream()->metadata, m_context->metadata, 0);
    }
}

bool TOutputMuxer::AddCover(const TCoverPicture& cover)
{
    if (!WritesAudioOnly() || m_streams.empty())
        return true;
    switch (cover.PlaceIn(Format()->name)) {
        case TCoverPlace::None:
            return true;
        case TCoverPlace::PictureStream:
            m_coverStream = cover.AddStreamTo(m_context);
            if (!m_coverStream)
                return false;
            m_cover = &cover;
            // The picture's one packet is no stream to interleave with:
            // without this the sound would wait 10 s of its time in the
            // interleaver for pictures that never come, and the status
            // lines would lag.
            m_context->max_interleave_delta = 1;
            break;
        case TCoverPlace::Comment: {
            const std::string value = cover.CommentValue();
            if (value.empty())
                return true;
            for (const auto& stream : m_streams) {
                if (av_dict_set(&stream->Stream()->metadata, PictureCommentKey, value.c_str(), 0) <
                    0)
                    return false;
            }
            break;
        }
    }
    m_coverBytes = cover.Bytes();
    return true;
}

// A tag of the output, cut to what the format's tag fields hold.
void TOutputMuxer::SetTag(const char* key, const char* value)
{
    std::string note;
    const std::string text = BoundedTagText(key, value, Format()->name, note);
    if (!note.empty())
        WriteLine(note);
    av_dict_set(&m_context->metadata, key, text.c_str(), 0);
}

bool TOutputMuxer::Open(const std::string& temporaryPath, std::string& error)
{
    const std::string url = "file:" + temporaryPath;
    int rc = avio_open(&m_context->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (rc >= 0) {
        AVDictionary* muxerOptions = nullptr;
        // Program streams get the mux rate of a DVD, so that constant-quality
        // video never starves the multiplexer.
        const char* name = Format()->name;
        if (std::strcmp(name, "dvd") == 0 || std::strcmp(name, "mpeg") == 0)
            av_dict_set(&muxerOptions, "muxrate", "10080000", 0);
        rc = avformat_write_header(m_context, &muxerOptions);
        av_dict_free(&muxerOptions);
    }
    if (rc < 0) {
        error = "Cannot write '" + m_path + "': " + ErrorText(rc);
        return false;
    }
    // The sound of a file of sound alone, as the header left its parameters.
    if (m_checkBeside && m_streams.size() == 1 &&
        m_streams.front()->Stream()->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
        ReadsBackAsWritten(m_context->oformat->name))
        m_streams.front()->CheckBeside();
    // The MP3 and FLAC muxers hold the sound back until the picture came.
    if (m_coverStream && !m_cover->WriteInto(m_context, m_coverStream, error)) {
        error = "Error while writing '" + m_path + "': " + error;
        return false;
    }
    return true;
}

bool TOutputMuxer::Finish(std::string& error)
{
    int rc = av_write_trailer(m_context);
    if (rc >= 0) {
        avio_flush(m_context->pb);
        rc = m_context->pb->error;
        if (rc >= 0)
            rc = avio_closep(&m_context->pb);
    }
    if (rc < 0) {
        error = "Error while writing '" + m_path + "': " + ErrorText(rc);
        return false;
    }
    if (!m_streams.empty())
        m_writtenSound = m_streams.front()->FinishCheck();
    return true;
}

void TOutputMuxer::StopWriting()
{
    m_gate.Closed = true;
    for (const auto& stream : m_streams)
        stream->StopCheck();
}

double TOutputMuxer::BytesWritten() const
{
    std::lock_guard lock(m_gate.Lock);
    return m_context->pb ? static_cast<double>(avio_tell(m_context->pb)) : 0;
}
