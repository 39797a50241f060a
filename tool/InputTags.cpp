#include "tool/InputTags.h"

#include <string>

#include "base/AsciiCase.h"

namespace {

// Keys that describe the file's making, not its content.
bool IsContainerDetail(const std::string& key)
{
    return key == "major_brand" || key == "minor_version" || key == "compatible_brands" ||
           key == "encoder";
}

// Keys a stream carries about itself (MP4 handlers, Matroska statistics).
bool IsStreamDetail(const std::string& key)
{
    static const char* const kKeys[] = {"handler_name",
                                        "vendor_id",
                                        "language",
                                        "creation_time",
                                        "duration",
                                        "encoder",
                                        "bps",
                                        "number_of_frames",
                                        "number_of_bytes",
                                        "metadata_block_picture"};
    for (const char* known : kKeys) {
        if (key == known)
            return true;
    }
    return key.starts_with("_statistics_");
}

}  // namespace

void CollectInputTags(const AVFormatContext* input, const AVStream* sound, AVDictionary** tags)
{
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(input->metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        if (!IsContainerDetail(AsciiLowerCase(tag->key)))
            av_dict_set(tags, tag->key, tag->value, 0);
    }
    if (!sound)
        return;
    tag = nullptr;
    while ((tag = av_dict_get(sound->metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) {
        if (!IsStreamDetail(AsciiLowerCase(tag->key)))
            av_dict_set(tags, tag->key, tag->value, AV_DICT_DONT_OVERWRITE);
    }
}
