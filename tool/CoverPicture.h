// The cover picture of an input (an attached picture: an ID3 APIC, an M4A
// covr, a FLAC PICTURE block, an Ogg METADATA_BLOCK_PICTURE comment), carried
// into the outputs that hold one, copied as it is.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <string>

// How an output keeps a cover.
enum class TCoverPlace
{
    None,           // WAV, AC-3, WMA (FFmpeg's ASF muxer writes no WM/Picture)
    PictureStream,  // an attached picture stream: MP3 (ID3v2 APIC), M4A (covr), FLAC (PICTURE)
    Comment,        // a METADATA_BLOCK_PICTURE comment on the sound stream: Ogg, Opus
};

class TCoverPicture
{
public:
    // The input's first attached picture of a kind the formats hold; none
    // when it has none.
    explicit TCoverPicture(const AVFormatContext* input);

    bool Exists() const { return m_input != nullptr; }
    const AVStream* Input() const { return m_input; }
    std::int64_t Bytes() const { return m_input ? m_input->attached_pic.size : 0; }

    // Where the output of the named muxer keeps this cover; None also for
    // a picture of a kind the muxer does not take, or one too large.
    TCoverPlace PlaceIn(const std::string& muxer) const;
    // A new stream of output holding the cover's description; nullptr when
    // out of memory.
    AVStream* AddStreamTo(AVFormatContext* output) const;
    // Writes the cover's one packet into stream, once the header is written.
    // False with the library's reason.
    bool WriteInto(AVFormatContext* output, const AVStream* stream, std::string& error) const;
    // The value of the cover's METADATA_BLOCK_PICTURE comment; empty when
    // it cannot be made.
    std::string CommentValue() const;

private:
    const AVStream* m_input = nullptr;
};
