#pragma once

#include <charconv>
#include <cstring>

// The environment variables between the program and its conversion tool.
// Plain C++ without Qt: the tool reads the same names.

// How many tool runs a conversion job keeps going at once: a whole number
// from 1. Unset, the job runs as many as the system has processors.
inline constexpr const char* ToolJobsVariable = "QUORVEX_JOBS";

// How many threads one run of the tool may use: the program sets it for
// every run (the processors shared out among the runs going at once). Unset,
// the tool uses every processor.
inline constexpr const char* ToolThreadsVariable = "QUORVEX_THREADS";

// The whole number from 1 that VALUE (a variable's text, null when unset)
// holds, digits only; 0 when it holds none.
inline int EnvironmentCount(const char* value)
{
    if (value == nullptr || *value < '0' || *value > '9')
        return 0;
    const char* end = value + std::strlen(value);
    int count = 0;
    const auto [stop, error] = std::from_chars(value, end, count);
    return error == std::errc() && stop == end && count >= 1 ? count : 0;
}
