// The cover picture as Ogg files keep it: a METADATA_BLOCK_PICTURE comment,
// whose value is a FLAC picture block in base64 (the Xiph layout: picture
// type, MIME type, description, width, height, colour depth, colours used,
// the picture's bytes; every number a 32-bit big-endian word).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr char PictureCommentKey[] = "METADATA_BLOCK_PICTURE";
inline constexpr std::uint32_t FrontCoverType = 3;

struct TPictureFacts
{
    std::uint32_t Type = FrontCoverType;
    std::string Mime;  // "image/png"
    std::string Description;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Depth = 0;    // bits per pixel
    std::uint32_t Colours = 0;  // of an indexed picture; 0 for others
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;
};

// The picture block's bytes.
std::string FlacPictureBlock(const TPictureFacts& picture);

// The comment's value: the picture block in base64. Empty when it is too
// large to encode.
std::string PictureCommentValue(const TPictureFacts& picture);
