// Error messages the FFmpeg libraries log for one object (a decoder of the
// output check), counted while a watch on it lives. Some decoders conceal
// damage and only say so in the log (the AC-3 decoder with exponents out of
// range hands out a frame all the same), so the log is where a frame that
// does not decode shows. The tool's log callback hands every message here.
#pragma once

#include <cstdarg>
#include <string>

class TLibraryErrorWatch
{
public:
    explicit TLibraryErrorWatch(const void* context);
    ~TLibraryErrorWatch();
    TLibraryErrorWatch(const TLibraryErrorWatch&) = delete;
    TLibraryErrorWatch& operator=(const TLibraryErrorWatch&) = delete;

    int Count() const;
    // The first message, without the library's prefix; empty when none.
    std::string First() const;

    // Counts a message of level logged for context when a watch is on it.
    static void Note(const void* context, int level, const char* format, va_list args);

private:
    const void* m_context;
    int m_count = 0;
    std::string m_first;
};
