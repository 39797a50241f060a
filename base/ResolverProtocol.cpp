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
