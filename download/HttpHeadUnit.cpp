#include "download/HttpHeadUnit.h"

#include <charconv>

#include "common/StringFunctionsUnit.h"

namespace {

// A non-negative decimal number and nothing else, or -1.
int64_t ParseLength(std::string_view text)
{
    if (text.empty())
        return -1;
    int64_t value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return -1;
    return value;
}

}  // namespace

void THttpHead::AddLine(std::string_view line)
{
    const std::string text = TrimString(line);
    if (text.rfind("HTTP/", 0) == 0) {
        // A new answer begins (after a 1xx): nothing of the last one counts.
        *this = THttpHead{};
        const size_t space = text.find(' ');
        if (space != std::string::npos) {
            const std::string rest = text.substr(space + 1);
            const int64_t code = ParseLength(rest.substr(0, rest.find(' ')));
            Status = code >= 100 && code <= 999 ? static_cast<int>(code) : 0;
            Reason = rest.find(' ') == std::string::npos ? "" : TrimString(rest.substr(4));
        }
        return;
    }
    if (text.empty()) {
        Complete = Status >= 200;
        return;
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return;
    const std::string name = AsciiLowerCase(TrimString(text.substr(0, colon)));
    const std::string value = TrimString(text.substr(colon + 1));
    // A flood of fields is no answer of a media server; the first ones say
    // all the program looks at.
    if (Fields.size() < MaxFields)
        Fields.emplace_back(name, value);
    if (name == "content-encoding") {
        ContentEncoding = ContentEncoding.empty() ? AsciiLowerCase(value)
                                                  : ContentEncoding + ", " + AsciiLowerCase(value);
    } else if (name == "content-length") {
        AddContentLength(value);
    } else if (name == "transfer-encoding") {
        // The last coding decides how the body ends.
        const std::string codings = AsciiLowerCase(value);
        const size_t comma = codings.rfind(',');
        Chunked = TrimString(comma == std::string::npos ? codings : codings.substr(comma + 1)) ==
                  "chunked";
    } else if (name == "location") {
        HasLocation = !value.empty();
        Location = value;
    }
    ContentLength = Chunked ? -1 : m_length;
}

void THttpHead::AddContentLength(std::string_view value)
{
    // "Content-Length: 5, 5" and two equal headers are one length; anything
    // else that disagrees is a conflict.
    for (const std::string& item : SplitString(",", value)) {
        const int64_t length = ParseLength(item);
        if (length < 0 || (m_length >= 0 && length != m_length))
            LengthConflict = true;
        else
            m_length = length;
    }
}

bool THttpHead::IsEncoded() const
{
    for (const std::string& coding : SplitString(",", ContentEncoding)) {
        const std::string name = TrimString(coding);
        if (!name.empty() && name != "identity")
            return true;
    }
    return false;
}

std::string THttpHead::Field(std::string_view name) const
{
    const std::string wanted = AsciiLowerCase(std::string(name));
    for (const auto& [fieldName, value] : Fields) {
        if (fieldName == wanted)
            return value;
    }
    return {};
}

bool THttpHead::IsRedirect() const
{
    return Status == 301 || Status == 302 || Status == 303 || Status == 307 || Status == 308;
}
