// Duration accounting: how much of each stream was read from the input, how
// much was handed to its encoder, and the two judgements made from that: an
// input that yields well under what it declares is damaged, and a finished
// file must last as long as what its encoders were fed.
#pragma once

#include <string>

// A stretch of media time in seconds, grown by every frame added to it.
class TMediaSpan
{
public:
    void Add(double startSeconds, double endSeconds);
    bool IsEmpty() const { return !m_any; }
    // End minus start; 0 when nothing was added.
    double Seconds() const { return m_any ? m_end - m_start : 0.0; }

private:
    bool m_any = false;
    double m_start = 0;
    double m_end = 0;
};

// True when what was read falls well short (under 90 %) of a declared
// duration; declaredSeconds <= 0 means the input declares none.
bool ReadFallsShort(double readSeconds, double declaredSeconds);

// True when a written duration matches the fed one within 1 s or 5 %.
bool DurationsAgree(double writtenSeconds, double fedSeconds);

// "0.05", "3.0", "12.34": seconds with two decimals, trailing zeros dropped
// down to one decimal.
std::string SecondsText(double seconds);

// "damaged input: 0.05 of 3.0 s could be read"
std::string ShortReadReason(double readSeconds, double declaredSeconds);
