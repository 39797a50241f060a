#include "base/AsciiCase.h"

std::string AsciiLowerCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string AsciiUpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

bool SameTextAscii(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && AsciiLowerCase(a) == AsciiLowerCase(b);
}
