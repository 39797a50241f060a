#pragma once

// Byte-oriented text helpers shared by the whole program. Texts are UTF-8
// std::string; lengths and positions count bytes, searches are exact and
// case-sensitive, and case folding touches ASCII letters only.

#include <string>
#include <string_view>
#include <vector>

#include "base/AsciiCase.h"

using TStringList = std::vector<std::string>;

// Removes every byte up to 0x20 (blanks and control characters) from both ends.
std::string TrimString(std::string_view text);

// AsciiLowerCase, AsciiUpperCase and SameTextAscii: 'A'..'Z' to 'a'..'z'
// (and back), every other byte as it is. The conversion tool and the
// resolver use them too, so they live in the base library.

// Cuts Text at every Delimiter, left to right without overlap. Each piece is
// trimmed; empty pieces are kept except a last one behind the last delimiter.
// An empty Delimiter never occurs, so the trimmed Text is the only piece.
TStringList SplitString(std::string_view delimiter, std::string_view text);

// Replaces every occurrence of Search. When Replacement does not contain Search
// each pass searches the whole new text again from its start (so "aa" -> "a"
// turns "aaaa" into "a"); when it does, inserted text is never searched again.
std::string ReplaceString(std::string_view search, std::string_view replacement,
                          std::string_view source);
