#include "tool/CodecChoice.h"

#include "tool/Console.h"

#include "base/AsciiCase.h"

namespace {

constexpr TContainer kContainers[] = {
    {"mp3", "mp3", "libmp3lame", nullptr},
    {"wma", "asf", "wmav2", nullptr},
    {"ogg", "ogg", "libvorbis", nullptr},
    {"wav", "wav", "pcm_s16le", nullptr},
    {"m4a", "ipod", "aac", nullptr},
    {"ac3", "ac3", "ac3", nullptr},
    {"avi", "avi", "libmp3lame", "mpeg4"},
    {"mpg", "dvd", "mp2", "mpeg2video"},
    {"mpeg", "mpeg", "mp2", "mpeg1video"},
    {"mp4", "mp4", "aac", "libx264"},
    {"m4v", "mp4", "aac", "libx264"},
    {"mov", "mov", "aac", "libx264"},
    {"3gp", "3gp", "aac", "h263"},
    {"3g2", "3g2", "aac", "h263"},
    {"flv", "flv", "libmp3lame", "flv"},
    {"wmv", "asf", "wmav2", "wmv2"},
    {"flac", "flac", "flac", nullptr},
    {"opus", "opus", "libopus", nullptr},
    {"webm", "webm", "libopus", "libvpx-vp9"},
    {"mkv", "matroska", "aac", "libx264"},
};

}  // namespace

const TContainer* FindContainer(const std::string& extension)
{
    for (const TContainer& c : kContainers) {
        if (extension == c.Extension)
            return &c;
    }
    return nullptr;
}

// Names of the command line on the encoders that this system has.
bool ChooseEncoder(const std::string& asked, AVMediaType type, TEncoderChoice& choice,
                   std::string& error)
{
    const std::string name = AsciiLowerCase(asked);
    auto find = [](const char* n) { return avcodec_find_encoder_by_name(n); };
    const AVCodec* codec = nullptr;
    if (name == "libmp3lame" || name == "mp3") {
        codec = find("libmp3lame");
    } else if (name == "vorbis" || name == "libvorbis") {
        codec = find("libvorbis");
        if (!codec) {
            codec = find("vorbis");
            choice.Experimental = true;
        }
    } else if (name == "libfaac" || name == "aac" || name == "libfdk_aac") {
        codec = find("aac");
    } else if (name == "libamr_nb" || name == "amr_nb" || name == "libopencore_amrnb") {
        codec = find("libopencore_amrnb");
        if (!codec) {
            codec = find("aac");
            WriteLine("No AMR-NB encoder is available: the audio is encoded as AAC instead");
        }
    } else if (name == "mpegvideo" || name == "mpeg1video") {
        codec = find("mpeg1video");
    } else if (name == "libxvid" || name == "xvid") {
        codec = find("libxvid");
        if (!codec) {
            codec = find("mpeg4");
            choice.Tag = MKTAG('X', 'V', 'I', 'D');
        }
    } else if (name == "libx264" || name == "h264" || name == "x264") {
        codec = find("libx264");
    } else if (name == "flv" || name == "flv1") {
        codec = find("flv");
    } else {
        codec = find(name.c_str());
    }
    if (!codec || codec->type != type) {
        error = std::string("Unknown ") + (type == AVMEDIA_TYPE_AUDIO ? "audio" : "video") +
                " codec '" + asked + "'";
        return false;
    }
    choice.Codec = codec;
    return true;
}
