// What the window and the link resolver say to each other: the request the
// window sends, the answer that means "nothing found", the address the
// resolver's own streams are served at, and the line that tells a starting
// window which port the resolver took.
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
