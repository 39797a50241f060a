// Timestamp jumps in the input. A damaged or spliced file may jump ahead (or
// back) by hours in the middle of a stream; filling such a gap would turn a
// two-second clip into weeks of silence and repeated frames. Gaps up to a
// bound are kept (the later stages fill them, so sound stays in step with the
// picture); larger jumps are closed up by shifting the stream's later
// timestamps by the same amount. A stream whose first packet lies far beyond
// (or before) what the other streams have reached is brought to where they
// are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The largest gap (microseconds) inside a stream that is kept and filled.
inline constexpr std::int64_t kLargestFilledGapUs = 3'000'000;
// The latest a stream may start after the others have started (microseconds).
inline constexpr std::int64_t kLatestStreamStartUs = 60'000'000;

// Whether a packet's presentation time lies too far from its decoding time to
// be reordering (damage, or one of the two wrapped while the other did not);
// such a presentation time is dropped and the decoder's guess used instead.
bool PresentationStrays(std::int64_t ptsUs, std::int64_t dtsUs);

// The same mending is applied twice: to the packets the demuxer gives, and to
// the frames the decoder gives, as a decoder may still hand out a frame at a
// far time that no packet's decoding time showed.
class TTimestampMender
{
public:
    explicit TTimestampMender(std::size_t streams) : m_streams(streams) {}
    // As if a stream had reached atUs already: a first stream starting more
    // than kLatestStreamStartUs away from it (the decoded frames of a file
    // whose clock wrapped before the stream began) is brought there.
    void StartFrom(std::int64_t atUs)
    {
        m_anySeen = true;
        m_latestEndUs = atUs;
    }

    // The amount (microseconds) to add to the timestamps of a packet of
    // stream that starts at startUs and lasts durationUs (0 when unknown).
    std::int64_t ShiftFor(std::size_t stream, std::int64_t startUs, std::int64_t durationUs);
    // The number of jumps closed up so far.
    int JumpsClosed() const { return m_jumps; }

private:
    struct TStream
    {
        bool Seen = false;
        std::int64_t ShiftUs = 0;
        std::int64_t EndUs = 0;  // where the next packet is expected, mended
    };
    std::vector<TStream> m_streams;
    bool m_anySeen = false;
    std::int64_t m_latestEndUs = 0;
    int m_jumps = 0;
};
