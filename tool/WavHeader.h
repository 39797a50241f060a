// What a WAV file's header states about its length. FFmpeg takes the length
// of a WAV whose data chunk runs past the end of the file from what is there,
// so a cut-off download would pass for a whole short file; the header still
// says how much sound was written into it.
#pragma once

#include <cstdint>
#include <string>

struct TWavHeader
{
    std::uint64_t DataBytes = 0;  // the size its data chunk states
    std::uint32_t ByteRate = 0;   // bytes a second, from its format chunk

    // False when the file is no RIFF WAVE file, or its header states no
    // usable length (a data size left open by a writer that could not go back
    // to fill it in, or no byte rate).
    bool Read(const std::string& path);
    double StatedSeconds() const
    {
        return ByteRate ? static_cast<double>(DataBytes) / ByteRate : 0.0;
    }
};
