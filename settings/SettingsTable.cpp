#include "settings/SettingsTable.h"

// clang-format off
const std::array<TSettingsRow, SettingsRowCount> SettingsTable = {{
    // 0..6
    {"AudioFormatsForOutput", "Select...", "ERROR", ""},
    {"AudioFormatsForOutput", "MPEG Layer-3 (MP3)", "-vn -acodec libmp3lame", "mp3"},
    {"AudioFormatsForOutput", "Windows Media Audio (WMA)", "-vn -acodec wmav2", "wma"},
    {"AudioFormatsForOutput", "Vorbis-Encoded Audio (OGG)", "-vn -acodec vorbis", "ogg"},
    {"AudioFormatsForOutput", "Waveform Audio Format (WAV)", "-vn", "wav"},
    {"AudioFormatsForOutput", "Itunes Audio (M4A)", "-vn -acodec libfaac", "m4a"},
    {"AudioFormatsForOutput", "Dolby Digital DVD Audio (AC3)", "-vn -acodec ac3", "ac3"},
    // 7..14
    {"AudioFrequenciesList", "Same As Input", "-ar [KHZ]", ""},
    {"AudioFrequenciesList", "8000 kHz", "-ar 8000", ""},
    {"AudioFrequenciesList", "12000 kHz", "-ar 12000", ""},
    {"AudioFrequenciesList", "16000 kHz", "-ar 16000", ""},
    {"AudioFrequenciesList", "24000 kHz", "-ar 24000", ""},
    {"AudioFrequenciesList", "32000 kHz", "-ar 32000", ""},
    {"AudioFrequenciesList", "44100 kHz", "-ar 44100", ""},
    {"AudioFrequenciesList", "48000 kHz", "-ar 48000", ""},
    // 15..27
    {"AudioBitrateList", "Same As Input", "-ab [AKBIT]k", ""},
    {"AudioBitrateList", "320 kbit", "-ab 320k", ""},
    {"AudioBitrateList", "256 kbit", "-ab 256k", ""},
    {"AudioBitrateList", "224 kbit", "-ab 224k", ""},
    {"AudioBitrateList", "192 kbit", "-ab 192k", ""},
    {"AudioBitrateList", "160 kbit", "-ab 160k", ""},
    {"AudioBitrateList", "144 kbit", "-ab 144k", ""},
    {"AudioBitrateList", "128 kbit", "-ab 128k", ""},
    {"AudioBitrateList", "112 kbit", "-ab 112k", ""},
    {"AudioBitrateList", "96 kbit", "-ab 96k", ""},
    {"AudioBitrateList", "64 kbit", "-ab 64k", ""},
    {"AudioBitrateList", "48 kbit", "-ab 48k", ""},
    {"AudioBitrateList", "32 kbit", "-ab 32k", ""},
    // 28..30
    {"AudioChannelsModeList", "Same As Input", "-ac [CHANNEL]", ""},
    {"AudioChannelsModeList", "Stereo (2 Channel Mode)", "-ac 2", ""},
    {"AudioChannelsModeList", "Mono (1 Channel Mode)", "-ac 1", ""},
    // 31..42
    {"VideoFormatsForOutput", "Select...", "ERROR", ""},
    {"VideoFormatsForOutput", "XVID AVI Video (AVI)", "-r 29.97 -vcodec libxvid -vtag XVID -acodec libmp3lame", "avi"},
    {"VideoFormatsForOutput", "NTSC DVD HQ (MPG)", "-vcodec mpeg2video -r 29.97 -acodec mp2", "mpg"},
    {"VideoFormatsForOutput", "PAL DVD HQ (MPG)", "-vcodec mpeg2video -r 25.00 -acodec mp2", "mpg"},
    {"VideoFormatsForOutput", "MPEG-1 Video File (MPEG)", "-vcodec mpegvideo -r 29.97 -acodec mp2", "mpeg"},
    {"VideoFormatsForOutput", "MPEG-4 Video File (MP4)", "-r 29.97 -vcodec libx264 -acodec libfaac", "mp4"},
    {"VideoFormatsForOutput", "Apple Video Format (M4V)", "-r 29.97 -vcodec libx264 -acodec libfaac", "m4v"},
    {"VideoFormatsForOutput", "Video For PSP (MP4)", "-r 29.97 -vcodec libxvid -acodec libfaac", "mp4"},
    {"VideoFormatsForOutput", "Quicktime (MOV)", "-acodec libfaac -r 25", "mov"},
    {"VideoFormatsForOutput", "Mobile Video Format (3GP)", "-vcodec h263 -r 25 -acodec libamr_nb -ac 1 -ab 10.2k -ar 8000 -s 352x288", "3gp"},
    {"VideoFormatsForOutput", "Mobile Video Format 2 (3G2)", "-acodec libfaac -s qcif -r 14.985", "3g2"},
    {"VideoFormatsForOutput", "Windows Media Video (WMV)", "-vcodec wmv2  -acodec wmav2", "wmv"},
    // 43..55
    {"VideoAudioBitrateList", "Same As Input", "-sameq", ""},
    {"VideoAudioBitrateList", "320 kbit", "-ab 320k", ""},
    {"VideoAudioBitrateList", "256 kbit", "-ab 256k", ""},
    {"VideoAudioBitrateList", "224 kbit", "-ab 224k", ""},
    {"VideoAudioBitrateList", "192 kbit", "-ab 192k", ""},
    {"VideoAudioBitrateList", "160 kbit", "-ab 160k", ""},
    {"VideoAudioBitrateList", "144 kbit", "-ab 144k", ""},
    {"VideoAudioBitrateList", "128 kbit", "-ab 128k", ""},
    {"VideoAudioBitrateList", "112 kbit", "-ab 112k", ""},
    {"VideoAudioBitrateList", "96 kbit", "-ab 96k", ""},
    {"VideoAudioBitrateList", "64 kbit", "-ab 64k", ""},
    {"VideoAudioBitrateList", "48 kbit", "-ab 48k", ""},
    {"VideoAudioBitrateList", "32 kbit", "-ab 32k", ""},
    // 56..58
    {"VideoChannelsModeList", "Same As Input", "-sameq", ""},
    {"VideoChannelsModeList", "Stereo (2 Channel Mode)", "-ac 2", ""},
    {"VideoChannelsModeList", "Mono (1 Channel Mode)", "-ac 1", ""},
    // 59..70
    {"VideoVideoBitrateList", "Same As Input", "-sameq", ""},
    {"VideoVideoBitrateList", "3072 kbit", "-b 3072k", ""},
    {"VideoVideoBitrateList", "2048 kbit", "-b 2048k", ""},
    {"VideoVideoBitrateList", "1024 kbit", "-b 1024k", ""},
    {"VideoVideoBitrateList", "768 kbit", "-b 768k", ""},
    {"VideoVideoBitrateList", "512 kbit", "-b 512k", ""},
    {"VideoVideoBitrateList", "256 kbit", "-b 256k", ""},
    {"VideoVideoBitrateList", "192 kbit", "-b 192k", ""},
    {"VideoVideoBitrateList", "128 kbit", "-b 128k", ""},
    {"VideoVideoBitrateList", "64 kbit", "-b 64k", ""},
    {"VideoVideoBitrateList", "32 kbit", "-b 32k", ""},
    {"VideoVideoBitrateList", "16 kbit", "-b 16k", ""},
    // 71..86
    {"VideoResolutionList", "Same As Input", "-sameq", ""},
    {"VideoResolutionList", "128x96", "-s 128x96", ""},
    {"VideoResolutionList", "176x144", "-s 176x144", ""},
    {"VideoResolutionList", "208x160", "-s 208x160", ""},
    {"VideoResolutionList", "320x240", "-s 320x240", ""},
    {"VideoResolutionList", "352x288", "-s 352x288", ""},
    {"VideoResolutionList", "352x240", "-s 352x240", ""},
    {"VideoResolutionList", "640x480", "-s 640x480", ""},
    {"VideoResolutionList", "704x576", "-s 704x576", ""},
    {"VideoResolutionList", "720x480", "-s 720x480", ""},
    {"VideoResolutionList", "720x576", "-s 720x576", ""},
    {"VideoResolutionList", "800x600", "-s 800x600", ""},
    {"VideoResolutionList", "852x480", "-s 852x480", ""},
    {"VideoResolutionList", "1024x768", "-s 1024x768", ""},
    {"VideoResolutionList", "1280x720", "-s 1280x720", ""},
    {"VideoResolutionList", "1920x1080", "-s 1920x1080", ""},
    // 87..92: the formats added after the original table, each shown after
    // the last item of its list
    {"AudioFormatsForOutput", "Free Lossless Audio Codec (FLAC)", "-vn -acodec flac", "flac"},
    {"AudioFormatsForOutput", "Opus Audio (OPUS)", "-vn -acodec libopus", "opus"},
    {"VideoFormatsForOutput", "WebM Video VP9 + Opus (WEBM)", "-vcodec libvpx-vp9 -acodec libopus", "webm"},
    {"VideoFormatsForOutput", "Matroska Video H.264 + AAC (MKV)", "-vcodec libx264 -acodec libfaac", "mkv"},
    {"VideoFormatsForOutput", "MPEG-4 HEVC Video H.265 (MP4)", "-vcodec libx265 -vtag hvc1 -acodec libfaac", "mp4"},
    {"VideoFormatsForOutput", "AV1 Video + Opus (WEBM)", "-vcodec libsvtav1 -acodec libopus", "webm"},
}};
// clang-format on

const char* SettingsCell(int row, int column)
{
    if (row < 0 || row >= SettingsRowCount)
        return "";
    const TSettingsRow& r = SettingsTable[static_cast<std::size_t>(row)];
    switch (column) {
        case 0:
            return r.ControlName;
        case 1:
            return r.ItemText;
        case 2:
            return r.ToolArguments;
        case 3:
            return r.Extension;
        default:
            return "";
    }
}
