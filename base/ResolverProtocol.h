// What the window and the link resolver say to each other: the request the
// window sends, the answer that means "nothing found", the address the
// resolver's own streams are served at, the line that tells a starting
// window which port the resolver took, the secret that binds a resolver to
// the window that started it, and how long an answer may take.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The request: GET BASE + ResolvePath + "?" + ResolveLinkKey + the page link,
// the link as the user gave it (no encoding). The body of the answer is the
// media link or RefusalAnswer.
inline constexpr const char* ResolvePath = "/get-url/index/link/";
inline constexpr const char* ResolveLinkKey = "link=";
// The whole answer when the resolver finds no media or refuses the request.
inline constexpr const char* RefusalAnswer = "error";

// A stream the resolver makes up from parts is served at
// BASE + StreamPath + token + ".flv".
inline constexpr const char* StreamPath = "/get-url/stream/";

// Why the resolver answered RefusalAnswer. The body stays RefusalAnswer;
// beside it the answer carries one header:
//
//   X-Quorvex-Reason: connection-refused; the server at 127.0.0.1:9 refused the connection
//
// a code the window acts on (whether the page or its media could not be
// reached) and the reason in plain words, one line, shown to the user.
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
    NotAllowed,         // the address rules keep the resolver away from it
    Busy,               // the resolver has too much to do at the moment
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

const TResolverReasonCode& ResolverReasonEntry(TResolverReason reason);
bool IsUnreachableReason(TResolverReason reason);

// "code; words": the words made one line of printable text and cut (on a
// character boundary) to MaxResolverReasonWords bytes.
std::string ResolverReasonValue(TResolverReason reason, std::string_view words);

struct TResolverReasonValue
{
    TResolverReason Reason = TResolverReason::Other;
    std::string Words;  // may be empty
};

// The header's value read back; nullopt for an unknown code.
std::optional<TResolverReasonValue> ParseResolverReason(std::string_view value);

// The words both sides use for a connection that failed. SERVER is
// "host:port" (or the host alone).
namespace ReasonWords {

std::string Refused(const std::string& server);
std::string UnknownHost(const std::string& host);
std::string NoAnswer(const std::string& server, const std::string& time);
std::string StoppedSending(const std::string& server);
std::string SecureConnection(const std::string& server, const std::string& why);
std::string ConnectionFailed(const std::string& server, const std::string& why);

inline constexpr const char* NotHttp = "only http and https links can be downloaded";
inline constexpr const char* NotALink =
    "the text is not a link (a link starts with http:// or https://)";
inline constexpr const char* NoMedia = "the page has no video or sound that could be found";

}  // namespace ReasonWords

// Started to listen on port 0, the resolver takes a free port and prints it
// as the first line of its standard output: the port in decimal digits and a
// line feed.
std::string PortLine(unsigned port);
// The port a port line names; 0 when LINE is none (blanks around it are
// allowed, a port outside 1..65535 is none).
unsigned ReadPortLine(std::string_view line);

// The resolver reads one line from its standard input at start, the secret
// that every request must then carry (a service started by hand may be given
// one too). The secret never appears on a command line or in an environment.
inline constexpr const char* ResolverSecretOption = "secret-stdin";

// The request header that carries the secret. A browser sends no header of
// its own naming on a navigation, and a page's script can add one only to a
// cross-origin fetch, which the resolver refuses for its Origin anyway.
inline constexpr const char* ResolverSecretHeader = "X-Quorvex-Key";

// Random bytes in the secret the program draws (sent as hex) and the
// shortest secret the resolver takes.
inline constexpr int ResolverSecretBytes = 32;
inline constexpr int ResolverMinSecretLength = 16;

// The resolver answers every request within this time unless told otherwise
// (--answer-timeout); the program waits a little longer for the answer.
inline constexpr int ResolverAnswerTimeoutMs = 30000;
inline constexpr int ResolverAnswerMarginMs = 5000;
