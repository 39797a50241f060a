#include "common/StringFunctionsUnit.h"

namespace {

bool IsTrimmable(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

}  // namespace

std::string TrimString(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmable(text[begin]))
        ++begin;
    while (end > begin && IsTrimmable(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

TStringList SplitString(std::string_view delimiter, std::string_view text)
{
    TStringList pieces;
    std::string_view rest = text;
    if (!delimiter.empty()) {
        for (size_t p = rest.find(delimiter); p != std::string_view::npos;
             p = rest.find(delimiter)) {
            pieces.push_back(TrimString(rest.substr(0, p)));
            rest.remove_prefix(p + delimiter.size());
        }
    }
    std::string last = TrimString(rest);
    if (!last.empty())
        pieces.push_back(std::move(last));
    return pieces;
}

std::string ReplaceString(std::string_view search, std::string_view replacement,
                          std::string_view source)
{
    std::string result(source);
    if (search.empty())
        return result;
    if (replacement.find(search) == std::string_view::npos) {
        // Restarting from the beginning after every replacement also catches an
        // occurrence formed where the inserted text meets its neighbours.
        for (size_t p = result.find(search); p != std::string::npos; p = result.find(search))
            result.replace(p, search.size(), replacement);
        return result;
    }
    for (size_t p = result.find(search); p != std::string::npos;
         p = result.find(search, p + replacement.size())) {
        result.replace(p, search.size(), replacement);
    }
    return result;
}
