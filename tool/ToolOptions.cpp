#include "tool/ToolOptions.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace {

bool AllDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Strict decimal: digits with at most one point, no sign, no exponent, no blanks.
bool ParseDecimal(const std::string& text, double& value)
{
    bool seenDigit = false;
    bool seenPoint = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            return false;
        }
    }
    if (!seenDigit)
        return false;
    errno = 0;
    value = std::strtod(text.c_str(), nullptr);
    return errno == 0 && std::isfinite(value);
}

struct TNamedSize
{
    const char* Name;
    int Width;
    int Height;
};

constexpr TNamedSize kNamedSizes[] = {
    {"sqcif", 128, 96},    {"qcif", 176, 144},  {"cif", 352, 288},    {"4cif", 704, 576},
    {"16cif", 1408, 1152}, {"qqvga", 160, 120}, {"qvga", 320, 240},   {"vga", 640, 480},
    {"svga", 800, 600},    {"xga", 1024, 768},  {"ntsc", 720, 480},   {"pal", 720, 576},
    {"film", 352, 240},    {"hd480", 852, 480}, {"hd720", 1280, 720}, {"hd1080", 1920, 1080},
};

}  // namespace

bool ParsePositiveInt(const std::string& text, int& value)
{
    if (!AllDigits(text) || text.size() > 10)
        return false;
    const long long v = std::stoll(text);
    if (v <= 0 || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseBitRateText(const std::string& text, double& value, bool* hasSuffix)
{
    if (text.empty())
        return false;
    double scale = 1.0;
    std::string number = text;
    switch (text.back()) {
        case 'k':
        case 'K':
            scale = 1e3;
            break;
        case 'M':
            scale = 1e6;
            break;
        case 'G':
            scale = 1e9;
            break;
        default:
            break;
    }
    if (scale != 1.0)
        number.pop_back();
    double v = 0;
    if (!ParseDecimal(number, v) || v <= 0)
        return false;
    value = v * scale;
    if (hasSuffix)
        *hasSuffix = scale != 1.0;
    return true;
}

bool ParseFrameSizeText(const std::string& text, TFrameSize& size)
{
    for (const TNamedSize& named : kNamedSizes) {
        if (text == named.Name) {
            size = {named.Width, named.Height};
            return true;
        }
    }
    const std::size_t x = text.find('x');
    if (x == std::string::npos)
        return false;
    int w = 0;
    int h = 0;
    if (!ParsePositiveInt(text.substr(0, x), w) || !ParsePositiveInt(text.substr(x + 1), h))
        return false;
    if (w > 16384 || h > 16384)
        return false;
    size = {w, h};
    return true;
}

bool ParseFrameRateText(const std::string& text, TFrameRate& rate)
{
    if (text == "ntsc") {
        rate = {30000, 1001};
        return true;
    }
    if (text == "pal") {
        rate = {25, 1};
        return true;
    }
    if (text == "film") {
        rate = {24, 1};
        return true;
    }
    if (text == "ntsc-film") {
        rate = {24000, 1001};
        return true;
    }
    const std::size_t slash = text.find('/');
    if (slash != std::string::npos) {
        int num = 0;
        int den = 0;
        if (!ParsePositiveInt(text.substr(0, slash), num) ||
            !ParsePositiveInt(text.substr(slash + 1), den))
            return false;
        const int g = std::gcd(num, den);
        rate = {num / g, den / g};
        return static_cast<long long>(rate.Num) <= 1000LL * rate.Den;
    }
    double v = 0;
    if (!ParseDecimal(text, v) || v <= 0 || v > 1000)
        return false;
    // The NTSC family written as decimals (29.97, 23.976, 14.985, 59.94) means the
    // exact 1000/1001 rates; anything else is taken as written.
    for (int base : {15, 24, 30, 48, 60, 120}) {
        const double ntsc = base * 1000.0 / 1001.0;
        if (std::fabs(v - ntsc) < 0.006) {
            rate = {base * 1000, 1001};
            return true;
        }
    }
    const std::size_t point = text.find('.');
    long long den = 1;
    if (point != std::string::npos) {
        const std::size_t decimals = std::min<std::size_t>(text.size() - point - 1, 6);
        for (std::size_t i = 0; i < decimals; ++i)
            den *= 10;
    }
    const long long num = std::llround(v * static_cast<double>(den));
    if (num <= 0)
        return false;
    const long long g = std::gcd(num, den);
    rate = {static_cast<int>(num / g), static_cast<int>(den / g)};
    return true;
}

namespace {

// A value that is not a number keeps the input's setting, with one warning.
template <typename T>
void KeepInputSetting(TSetting<T>& setting, const std::string& name, const std::string& value,
                      TToolOptions& options)
{
    setting.State = TSettingState::SameAsInput;
    options.Warnings.push_back("Option " + name + ": '" + value +
                               "' is not a value; keeping the input's setting");
}

// The options without a value; false for any other argument.
bool ApplyFlag(const std::string& arg, TToolOptions& options)
{
    if (arg == "-y")
        options.Overwrite = true;
    else if (arg == "-vn")
        options.NoVideo = true;
    else if (arg == "-an")
        options.NoAudio = true;
    else if (arg == "-sameq")
        ++options.SameQuality;
    else
        return false;
    return true;
}

bool TakesValue(const std::string& arg)
{
    static const char* const kWithValue[] = {"-i",    "-acodec",    "-vcodec",  "-ar",     "-ac",
                                             "-ab",   "-b",         "-aq",      "-s",      "-r",
                                             "-vtag", "-copyright", "-comment", "-threads"};
    bool known = false;
    for (const char* name : kWithValue)
        known = known || arg == name;
    return known;
}

// The settings read as numbers, rates and sizes.
void ApplyMeasure(const std::string& arg, const std::string& value, TToolOptions& options)
{
    if (arg == "-ar" || arg == "-ac") {
        TSetting<int>& setting = arg == "-ar" ? options.SampleRate : options.Channels;
        int v = 0;
        if (ParsePositiveInt(value, v))
            setting.Set(v);
        else
            KeepInputSetting(setting, arg, value, options);
    } else if (arg == "-ab" || arg == "-b") {
        TSetting<std::int64_t>& setting =
            arg == "-ab" ? options.AudioBitRate : options.VideoBitRate;
        double v = 0;
        if (ParseBitRateText(value, v) && v >= 1 && v < 1e10)
            setting.Set(std::llround(v));
        else
            KeepInputSetting(setting, arg, value, options);
    } else if (arg == "-aq") {
        double v = 0;
        bool suffix = false;
        if (ParseBitRateText(value, v, &suffix) || value == "0") {
            options.AudioQuality.Set(v);
            options.AudioQualityHasSuffix = suffix;
        } else {
            KeepInputSetting(options.AudioQuality, arg, value, options);
        }
    } else if (arg == "-s") {
        TFrameSize size;
        if (ParseFrameSizeText(value, size))
            options.FrameSize.Set(size);
        else
            KeepInputSetting(options.FrameSize, arg, value, options);
    } else if (arg == "-r") {
        TFrameRate rate;
        if (ParseFrameRateText(value, rate))
            options.FrameRate.Set(rate);
        else
            KeepInputSetting(options.FrameRate, arg, value, options);
    }
}

// An option with its value. False with the reason for a value that cannot
// stand.
bool ApplyValue(const std::string& arg, const std::string& value, TToolOptions& options,
                std::string& error)
{
    if (arg == "-i") {
        if (options.HasInput) {
            error = "Only one input file is supported: '" + value + "'";
            return false;
        }
        options.InputPath = value;
        options.HasInput = true;
    } else if (arg == "-acodec") {
        options.AudioCodec = value;
    } else if (arg == "-vcodec") {
        options.VideoCodec = value;
    } else if (arg == "-vtag") {
        if (value.size() != 4) {
            error = "Invalid value '" + value + "' for option '-vtag': four characters needed";
            return false;
        }
        options.VideoTag = value;
    } else if (arg == "-threads") {
        int threads = 0;
        if (value == "auto" || value == "0")
            options.Threads = 0;
        else if (ParsePositiveInt(value, threads))
            options.Threads = threads;
        else {
            error = "Invalid value '" + value +
                    "' for option '-threads': a whole number from 1, or 0 or auto for every "
                    "processor";
            return false;
        }
    } else if (arg == "-copyright") {
        options.Copyright = value;
    } else if (arg == "-comment") {
        options.Comment = value;
    } else {
        ApplyMeasure(arg, value, options);
    }
    return true;
}

}  // namespace

bool ParseToolArguments(const std::vector<std::string>& args, TToolOptions& options,
                        std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty())
            continue;  // doubled blanks of an assembled command line
        if (arg[0] != '-' || arg == "-") {
            if (options.HasOutput) {
                error = "Only one output file is supported: '" + arg + "'";
                return false;
            }
            options.OutputPath = arg;
            options.HasOutput = true;
            continue;
        }
        if (ApplyFlag(arg, options))
            continue;
        if (!TakesValue(arg)) {
            error = "Unrecognized option '" + arg + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "Missing argument for option '" + arg + "'";
            return false;
        }
        const std::string& value = args[++i];
        if (!ApplyValue(arg, value, options, error))
            return false;
    }
    return true;
}
