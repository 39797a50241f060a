#pragma once

// The head of one HTTP answer, read line by line as it arrives: the status,
// the body's length as the answer announces it, chunked transfer coding and
// the redirect target. Interim answers (1xx) are forgotten when the next
// status line comes.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct THttpHead
{
    // Fields kept in Fields; later ones are read for their meaning only.
    static constexpr size_t MaxFields = 100;

    int Status = 0;
    std::string Reason;
    // The announced body length; -1 when none was given or the body is chunked.
    int64_t ContentLength = -1;
    // Two Content-Length values that disagree, or one that is no number: the
    // answer's length cannot be trusted, so the answer is no answer.
    bool LengthConflict = false;
    bool Chunked = false;
    bool HasLocation = false;
    std::string Location;
    // The codings of the body (Content-Encoding), lower case; empty or
    // "identity" for a body sent as it is.
    std::string ContentEncoding;
    // Every field as it came, the name in lower case.
    std::vector<std::pair<std::string, std::string>> Fields;
    // The blank line that ends a final (non-1xx) head has arrived.
    bool Complete = false;

    // Takes one header line as the transport hands it over ("\r\n" included).
    void AddLine(std::string_view line);
    // Whether the head asks the client to go elsewhere.
    bool IsRedirect() const;
    // Whether the body comes in a coding other than identity.
    bool IsEncoded() const;
    // The value of the first field called NAME (any case), or empty.
    std::string Field(std::string_view name) const;

private:
    void AddContentLength(std::string_view value);
    int64_t m_length = -1;
};
