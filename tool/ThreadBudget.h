#pragma once

// How many threads one run of the tool may use. The program shares the
// processors out among the runs it keeps going at once and tells each run its
// share in the environment; -threads on the command line overrides it; a run
// started by hand with neither uses every processor.

// The -threads value when none is given; 0 stands for every processor.
inline constexpr int ThreadsNotGiven = -1;

// The budget for GIVEN (-threads: ThreadsNotGiven, 0 for every processor, or
// a whole number from 1), VALUE (the environment's text, null when unset) on
// a machine with PROCESSORS processors: a whole number from 1. -threads wins
// over the environment; what neither gives is every processor.
int ThreadBudget(int given, const char* value, int processors);

// What an encoder's thread count is set to: the budget, or 0 (the library's
// own choice, every processor) when the budget is every processor.
int EncoderThreadCount(int given, const char* value, int processors);

// The -threads value of this run; set once, before any stream is set up.
void SetGivenThreads(int given);

// ThreadBudget and EncoderThreadCount for this process: its -threads, its
// environment and the processors the system reports.
int ThreadBudget();
int EncoderThreadCount();
