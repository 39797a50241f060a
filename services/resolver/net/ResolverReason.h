#pragma once

// Why the link resolver answered "error". The body stays "error" (that is
// what the program reads); beside it the answer carries one header:
//
//   X-Quorvex-Reason: connection-refused; the server at 127.0.0.1:9 refused the connection
//
// a code the program acts on (whether the page or its media could not be
// reached) and the reason in plain words, one line, shown to the user.
// Both sides include this header; it needs nothing but the standard library.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* ResolverReasonHeader = "X-Quorvex-Reason";

enum class TResolverReason
{
    ConnectionRefused,  // nothing listens at the server's address and port
    UnknownHost,        // the server's name cannot be looked up
    TimedOut,           // the server did not answer in time
    Stalled,            // the server stopped sending in the middle
    SecureConnection,   // the TLS handshake or certificate failed
    ConnectionFailed,   // any other failed or broken connection
    HttpStatus,         // the page or file answered an error status
    NotHttp,            // a link of another scheme (ftp://, file://, ...)
    NotALink,           // the text is no link at all
    NoMedia,            // a page without video or sound that could be found
    NotMedia,           // an answer that is neither a page nor media
    NotAllowed,         // the address rules keep the service away from it
    Busy,               // the service has too much to do at the moment
    Other
};

struct TResolverReasonCode
{
    TResolverReason Reason;
    const char* Code;
    // The page or its media could not be reached: a connection problem.
    bool Unreachable;
};

inline constexpr std::array<TResolverReasonCode, 14> ResolverReasonCodes = {{
    {TResolverReason::ConnectionRefused, "connection-refused", true},
    {TResolverReason::UnknownHost, "unknown-host", true},
    {TResolverReason::TimedOut, "timed-out", true},
    {TResolverReason::Stalled, "stalled", true},
    {TResolverReason::SecureConnection, "tls", true},
    {TResolverReason::ConnectionFailed, "connection-failed", true},
    {TResolverReason::HttpStatus, "http-status", false},
    {TResolverReason::NotHttp, "not-http", false},
    {TResolverReason::NotALink, "not-a-link", false},
    {TResolverReason::NoMedia, "no-media", false},
    {TResolverReason::NotMedia, "not-media", false},
    {TResolverReason::NotAllowed, "not-allowed", false},
    {TResolverReason::Busy, "busy", false},
    {TResolverReason::Other, "other", false},
}};

// The longest reason in words the header carries, in bytes.
inline constexpr std::size_t MaxResolverReasonWords = 512;

inline const TResolverReasonCode& ResolverReasonEntry(TResolverReason reason)
{
    for (const TResolverReasonCode& entry : ResolverReasonCodes) {
        if (entry.Reason == reason)
            return entry;
    }
    return ResolverReasonCodes.back();
}

inline bool IsUnreachableReason(TResolverReason reason)
{
    return ResolverReasonEntry(reason).Unreachable;
}

// "code; words": the words made one line of printable text and cut (on a
// character boundary) to MaxResolverReasonWords bytes.
inline std::string ResolverReasonValue(TResolverReason reason, std::string_view words)
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

struct TResolverReasonValue
{
    TResolverReason Reason = TResolverReason::Other;
    std::string Words;  // may be empty
};

// The header's value read back; nullopt for an unknown code.
inline std::optional<TResolverReasonValue> ParseResolverReason(std::string_view value)
{
    const std::size_t semicolon = value.find(';');
    std::string_view code = value.substr(0, semicolon);
    std::string_view words =
        semicolon == std::string_view::npos ? std::string_view() : value.substr(semicolon + 1);
    const auto trim = [](std::string_view text) {
        while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
            text.remove_prefix(1);
        while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
            text.remove_suffix(1);
        return text;
    };
    code = trim(code);
    words = trim(words);
    for (const TResolverReasonCode& entry : ResolverReasonCodes) {
        if (code == entry.Code)
            return TResolverReasonValue{entry.Reason, std::string(words)};
    }
    return std::nullopt;
}

// The words both sides use for a connection that failed. SERVER is
// "host:port" (or the host alone).
namespace ReasonWords {

inline std::string Refused(const std::string& server)
{
    return "the server at " + server + " refused the connection";
}

inline std::string UnknownHost(const std::string& host)
{
    return "no server is known by the name " + host;
}

inline std::string NoAnswer(const std::string& server, const std::string& time)
{
    return "the server at " + server + " did not answer within " + time;
}

inline std::string StoppedSending(const std::string& server)
{
    return "the server at " + server + " stopped sending";
}

inline std::string SecureConnection(const std::string& server, const std::string& why)
{
    return "the secure connection to " + server + " failed (" + why + ")";
}

inline std::string ConnectionFailed(const std::string& server, const std::string& why)
{
    return "the connection to " + server + " failed (" + why + ")";
}

inline constexpr const char* NotHttp = "only http and https links can be downloaded";
inline constexpr const char* NotALink =
    "the text is not a link (a link starts with http:// or "
    "https://)";
inline constexpr const char* NoMedia = "the page has no video or sound that could be found";

}  // namespace ReasonWords
