// Case folding of ASCII letters only: every other byte, UTF-8 sequences
// included, stays as it is.
#pragma once

#include <string>
#include <string_view>

// 'A'..'Z' to 'a'..'z' (and back); every other byte stays as it is.
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);
// Whether A and B are the same text but for the case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);
