#include "tool/Console.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <numeric>

#include "base/ToolConsole.h"

namespace {

std::string Printf(const char* format, auto... args)
{
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

}  // namespace

std::string FormatDurationLine(std::int64_t durationUs, std::int64_t startUs, std::int64_t bitRate)
{
    std::string line = std::string("  ") + DurationLabel;
    if (durationUs != kNoValue && durationUs >= 0) {
        const std::int64_t totalSecs = durationUs / 1000000;
        const std::int64_t us = durationUs % 1000000;
        const std::int64_t mins = totalSecs / 60;
        line += Printf("%02lld:%02lld:%02lld.%01lld", static_cast<long long>(mins / 60),
                       static_cast<long long>(mins % 60), static_cast<long long>(totalSecs % 60),
                       static_cast<long long>(us * 10 / 1000000));
    } else {
        line += "N/A";
    }
    if (startUs != kNoValue) {
        const long long secs = startUs / 1000000;
        const long long us = startUs % 1000000;
        line += Printf(", start: %s%lld.%06lld", startUs < 0 ? "-" : "", secs < 0 ? -secs : secs,
                       us < 0 ? -us : us);
    }
    line += ", bitrate: ";
    if (bitRate > 0)
        line += Printf("%lld kb/s", static_cast<long long>(bitRate / 1000));
    else
        line += "N/A";
    return line + "\r\n";
}

std::string FormatAudioDescription(const std::string& codec, int sampleRate, int channels,
                                   std::int64_t bitRate)
{
    std::string text = AudioLabel + codec;
    if (sampleRate > 0) {
        text += Printf(", %d Hz, ", sampleRate);
        if (channels == 1)
            text += "mono";
        else if (channels == 2)
            text += "stereo";
        else if (channels == 6)
            text += "5:1";
        else
            text += Printf("%d channels", channels);
    }
    if (bitRate > 0)
        text += Printf(", %lld kb/s", static_cast<long long>(bitRate / 1000));
    return text;
}

std::string FormatVideoDescription(const std::string& codec, const std::string& pixelFormat,
                                   int width, int height, int sarNum, int sarDen,
                                   std::int64_t bitRate, double frameRate)
{
    std::string text = "Video: " + codec;
    if (!pixelFormat.empty())
        text += ", " + pixelFormat;
    if (width > 0) {
        text += Printf(", %dx%d", width, height);
        if (sarNum > 0 && sarDen > 0) {
            long long darNum = static_cast<long long>(width) * sarNum;
            long long darDen = static_cast<long long>(height) * sarDen;
            const long long g = std::gcd(darNum, darDen);
            text += Printf(" [PAR %d:%d DAR %lld:%lld]", sarNum, sarDen, darNum / g, darDen / g);
        }
    }
    if (bitRate > 0)
        text += Printf(", %lld kb/s", static_cast<long long>(bitRate / 1000));
    if (frameRate > 0)
        text += Printf(", %5.2f tb(r)", frameRate);
    return text;
}

std::string FormatStatusLine(const TProgressFigures& f)
{
    std::string line;
    if (f.HasVideo)
        line += Printf("frame=%5d fps=%3d q=%3.1f ", f.Frames, static_cast<int>(f.Fps + 0.5),
                       f.Quality);
    const double kbits = f.Seconds > 0 ? f.SizeBytes * 8 / f.Seconds / 1000.0 : 0.0;
    line += Printf("%ssize=%8.0fkB %s%0.1f bitrate=%6.1fkbits/s", f.Last ? "L" : "",
                   f.SizeBytes / 1024.0, TimeLabel, f.Seconds, kbits);
    return line + "    \r";
}

std::string FormatSummaryLine(double videoBytes, double audioBytes, double headerBytes,
                              double totalBytes)
{
    const double payload = videoBytes + audioBytes + headerBytes;
    const double overhead = payload > 0 ? (totalBytes / payload - 1.0) * 100.0 : 0.0;
    return Printf("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%",
                  videoBytes / 1024.0, audioBytes / 1024.0, headerBytes / 1024.0, overhead) +
           "\r\n";
}

void WriteBlock(const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;  // nobody reads us any more: the conversion goes on regardless
        done += static_cast<std::size_t>(n);
    }
}

void WriteLine(const std::string& text)
{
    WriteBlock(text + "\r\n");
}
