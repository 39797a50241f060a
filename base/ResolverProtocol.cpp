#include "base/ResolverProtocol.h"

std::string PortLine(unsigned port)
{
    return std::to_string(port) + "\n";
}

unsigned ReadPortLine(std::string_view line)
{
    constexpr std::string_view blanks = " \t\n\v\f\r";
    const std::size_t begin = line.find_first_not_of(blanks);
    if (begin == std::string_view::npos)
        return 0;
    const std::string_view digits = line.substr(begin, line.find_last_not_of(blanks) + 1 - begin);
    if (digits.size() > 5)
        return 0;
    unsigned port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    return port <= 65535 ? port : 0;
}

const TResolverReasonCode& ResolverReasonEntry(TResolverReason reason)
{
    for (const TResolverReasonCode& entry : ResolverReasonCodes) {
        if (entry.Reason == reason)
            return entry;
    }
    return ResolverReasonCodes.back();
}

bool IsUnreachableReason(TResolverReason reason)
{
    return ResolverReasonEntry(reason).Unreachable;
}

std::string ResolverReasonValue(TResolverReason reason, std::string_view words)
{
    std::string line;
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7f ? ' ' : c;
    }
    if (line.size() > MaxResolverReasonWords) {
        std::size_t end = MaxResolverReasonWords;
        while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xc0) == 0x80)
            --end;
        line.resize(end);
    }
    return std::string(ResolverReasonEntry(reason).Code) + "; " + line;
}

std::optional<TResolverReasonValue> ParseResolverReason(std::string_view value)
{
    const auto trim = [](std::string_view text) {
        while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
            text.remove_prefix(1);
        while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
            text.remove_suffix(1);
        return text;
    };
    const std::size_t semicolon = value.find(';');
    const std::string_view code = trim(value.substr(0, semicolon));
    const std::string_view words = semicolon == std::string_view::npos
                                       ? std::string_view()
                                       : trim(value.substr(semicolon + 1));
    for (const TResolverReasonCode& entry : ResolverReasonCodes) {
        if (code == entry.Code)
            return TResolverReasonValue{entry.Reason, std::string(words)};
    }
    return std::nullopt;
}

namespace ReasonWords {

std::string Refused(const std::string& server)
{
    return "the server at " + server + " refused the connection";
}

std::string UnknownHost(const std::string& host)
{
    return "no server is known by the name " + host;
}

std::string NoAnswer(const std::string& server, const std::string& time)
{
    return "the server at " + server + " did not answer within " + time;
}

std::string StoppedSending(const std::string& server)
{
    return "the server at " + server + " stopped sending";
}

std::string SecureConnection(const std::string& server, const std::string& why)
{
    return "the secure connection to " + server + " failed (" + why + ")";
}

std::string ConnectionFailed(const std::string& server, const std::string& why)
{
    return "the connection to " + server + " failed (" + why + ")";
}

}  // namespace ReasonWords
