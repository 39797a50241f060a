#include "tool/PictureComment.h"

extern "C" {
#include <libavutil/base64.h>
}

#include <climits>

namespace {

void PutWord(std::string& block, std::uint32_t word)
{
    block += static_cast<char>(word >> 24);
    block += static_cast<char>((word >> 16) & 0xFF);
    block += static_cast<char>((word >> 8) & 0xFF);
    block += static_cast<char>(word & 0xFF);
}

void PutText(std::string& block, const std::string& text)
{
    PutWord(block, static_cast<std::uint32_t>(text.size()));
    block += text;
}

}  // namespace

std::string FlacPictureBlock(const TPictureFacts& picture)
{
    std::string block;
    block.reserve(32 + picture.Mime.size() + picture.Description.size() + picture.Size);
    PutWord(block, picture.Type);
    PutText(block, picture.Mime);
    PutText(block, picture.Description);
    PutWord(block, picture.Width);
    PutWord(block, picture.Height);
    PutWord(block, picture.Depth);
    PutWord(block, picture.Colours);
    PutWord(block, static_cast<std::uint32_t>(picture.Size));
    block.append(reinterpret_cast<const char*>(picture.Data), picture.Size);
    return block;
}

std::string PictureCommentValue(const TPictureFacts& picture)
{
    // base64 makes 4 letters of every 3 bytes, and av_base64_encode counts in int.
    if (picture.Size > static_cast<std::size_t>(INT_MAX / 4 * 3 - 4096))
        return {};
    const std::string block = FlacPictureBlock(picture);
    const int in = static_cast<int>(block.size());
    std::string text(static_cast<std::size_t>(AV_BASE64_SIZE(in)), '\0');
    if (!av_base64_encode(text.data(), static_cast<int>(text.size()),
                          reinterpret_cast<const std::uint8_t*>(block.data()), in))
        return {};
    text.resize(text.find('\0'));
    return text;
}
