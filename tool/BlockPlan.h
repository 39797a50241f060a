// Where the blocks of a sound stream shared out over threads start. Every
// block costs a lead-in that is coded and dropped, so blocks are long while
// much of the stream is left; toward its end they grow shorter, so that the
// threads finish together rather than one of them coding a long last block
// alone. Every block's encoder starts where the join rule lets one start.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

struct TBlockLengths
{
    std::int64_t Shortest = 1;  // frames
    std::int64_t Longest = 1;
    // Lengths are chosen so that a block is at most this share of what is
    // left for each thread: 2 gives each thread two or more blocks to the end.
    int BlocksPerWorkerLeft = 2;
};

class TBlockPlan
{
public:
    // The first frame from a given one on where an encoder may start.
    using TEncoderStart = std::function<std::int64_t(std::int64_t)>;

    // expectedFrames: the stream's length in encoder frames as the input
    // states it (0: unknown; every block is then the shortest). fixedFrames
    // above 0 makes every block that long (or a little longer, to where an
    // encoder may start).
    TBlockPlan(const TBlockLengths& lengths, int workers, std::int64_t expectedFrames,
               TEncoderStart encoderStart, std::int64_t fixedFrames = 0);

    // The frame block's encoder starts on (before its lead-in is dropped);
    // block 0 starts on frame 0.
    std::int64_t GridStart(std::int64_t block);

private:
    std::int64_t LengthFrom(std::int64_t start) const;

    TBlockLengths m_lengths;
    int m_workers;
    std::int64_t m_expected;
    TEncoderStart m_encoderStart;
    std::int64_t m_fixed;
    std::vector<std::int64_t> m_starts{0};
};
