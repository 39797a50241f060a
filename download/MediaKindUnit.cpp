#include "download/MediaKindUnit.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* Unknown = ".flv";
// Bytes read from the start of a file (and again behind an ID3 tag).
constexpr size_t HeadSize = 4096;
constexpr size_t TsPacket = 188;

bool At(std::string_view head, size_t offset, std::string_view bytes)
{
    return head.size() >= offset + bytes.size() && head.substr(offset, bytes.size()) == bytes;
}

uint8_t Byte(std::string_view head, size_t offset)
{
    return static_cast<uint8_t>(head[offset]);
}

// The length of an ID3v2 tag at the start of HEAD (header, frames and
// footer), or nothing when there is none.
std::optional<size_t> Id3Length(std::string_view head)
{
    if (!At(head, 0, "ID3") || head.size() < 10)
        return std::nullopt;
    size_t size = 0;
    for (size_t i = 6; i < 10; ++i) {
        if (Byte(head, i) & 0x80)
            return std::nullopt;  // not a synchsafe size: no tag
        size = (size << 7) | Byte(head, i);
    }
    const bool footer = Byte(head, 5) & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

// The brand of an ISO media file ("ftyp" box first), to its extension.
std::string IsoMediaExtension(std::string_view brand)
{
    if (brand == "M4A " || brand == "M4B " || brand == "M4P ")
        return ".m4a";
    if (brand == "M4V " || brand == "M4VH" || brand == "M4VP")
        return ".m4v";
    if (brand == "qt  ")
        return ".mov";
    if (brand.substr(0, 3) == "3gp")
        return ".3gp";
    if (brand.substr(0, 3) == "3g2")
        return ".3g2";
    return ".mp4";
}

// An MPEG audio frame header (layer I, II or III) or an ADTS header at the
// start of HEAD.
std::optional<std::string> MpegAudioExtension(std::string_view head)
{
    if (head.size() < 4 || Byte(head, 0) != 0xFF || (Byte(head, 1) & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (Byte(head, 1) >> 3) & 0x03;
    const int layer = (Byte(head, 1) >> 1) & 0x03;
    if (layer == 0) {
        // ADTS (AAC): the version field is 0 or 2, the sampling index at most 12.
        const bool adts = (Byte(head, 1) & 0xF6) == 0xF0 && ((Byte(head, 2) >> 2) & 0x0F) <= 12;
        return adts ? std::optional<std::string>(".aac") : std::nullopt;
    }
    const int bitrate = Byte(head, 2) >> 4;
    const int rate = (Byte(head, 2) >> 2) & 0x03;
    if (version == 1 || bitrate == 0x0F || rate == 0x03)
        return std::nullopt;  // reserved values: no frame header
    return layer == 1 ? ".mp3" : layer == 2 ? ".mp2" : ".mp1";
}

bool IsTransportStream(std::string_view head)
{
    if (head.empty() || Byte(head, 0) != 0x47)
        return false;
    // The sync byte repeats every packet (at least twice more when there is room).
    int seen = 0;
    for (size_t offset = TsPacket; offset < head.size() && seen < 2; offset += TsPacket, ++seen) {
        if (Byte(head, offset) != 0x47)
            return false;
    }
    return seen > 0;
}

}  // namespace

std::string MediaExtension(std::string_view head)
{
    static constexpr std::array<uint8_t, 16> AsfHeader = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66,
                                                          0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA,
                                                          0x00, 0x62, 0xCE, 0x6C};
    if (At(head, 0, "FLV\x01"))
        return ".flv";
    if (At(head, 4, "ftyp") && head.size() >= 12)
        return IsoMediaExtension(head.substr(8, 4));
    if (At(head, 4, "moov") || At(head, 4, "mdat") || At(head, 4, "wide") || At(head, 4, "free"))
        return ".mov";  // QuickTime without a file-type box
    if (At(head, 0, "\x1A\x45\xDF\xA3")) {
        // EBML: the document type tells WebM from Matroska.
        return head.substr(0, 64).find("webm") != std::string_view::npos ? ".webm" : ".mkv";
    }
    if (At(head, 0, "OggS"))
        return ".ogg";
    if (At(head, 0, "RIFF") && At(head, 8, "WAVE"))
        return ".wav";
    if (At(head, 0, "RIFF") && At(head, 8, "AVI "))
        return ".avi";
    if (head.size() >= AsfHeader.size() &&
        std::memcmp(head.data(), AsfHeader.data(), AsfHeader.size()) == 0)
        return ".wmv";
    if (At(head, 0, "fLaC"))
        return ".flac";
    if (At(head, 0, std::string_view("\x00\x00\x01\xBA", 4)) ||
        At(head, 0, std::string_view("\x00\x00\x01\xB3", 4)))
        return ".mpg";
    if (IsTransportStream(head))
        return ".ts";
    if (At(head, 0, ".RMF"))
        return ".rm";
    if (At(head, 0, "FORM") && (At(head, 8, "AIFF") || At(head, 8, "AIFC")))
        return ".aiff";
    if (At(head, 0, "#!AMR"))
        return ".amr";
    if (At(head, 0, "\x0B\x77"))
        return ".ac3";
    if (const std::optional<size_t> tag = Id3Length(head)) {
        // What follows the tag decides; an ID3 tag alone almost always
        // stands in front of MP3 frames.
        if (*tag < head.size()) {
            const std::string behind = MediaExtension(head.substr(*tag));
            if (behind != Unknown)
                return behind;
        }
        return ".mp3";
    }
    if (const std::optional<std::string> audio = MpegAudioExtension(head))
        return *audio;
    return Unknown;
}

std::string MediaExtensionOfFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Unknown;
    const auto readAt = [fd](off_t offset) {
        std::string bytes(HeadSize, '\0');
        const ssize_t n = pread(fd, bytes.data(), bytes.size(), offset);
        bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return bytes;
    };
    std::string head = readAt(0);
    // A tag longer than what was read (cover pictures): look behind it.
    if (const std::optional<size_t> tag = Id3Length(head); tag && *tag >= head.size()) {
        const std::string behind = readAt(static_cast<off_t>(*tag));
        const std::string extension = MediaExtension(behind);
        close(fd);
        return extension != Unknown ? extension : ".mp3";
    }
    close(fd);
    return MediaExtension(head);
}
