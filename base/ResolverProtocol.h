// What the window and the link resolver say to each other: the request the
// window sends, the answer that means "nothing found", the address the
// resolver's own streams are served at, the line that tells a starting
// window which port the resolver took, the secret that binds a resolver to
// the window that started it, and how long an answer may take.
#pragma once

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
