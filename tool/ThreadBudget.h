#pragma once

// How many threads the encoders of one run may use. The program shares the
// processors out among the runs it keeps going at once and tells each run its
// share in the environment; a run started by hand uses every processor.

// The budget that VALUE (the environment's text, null when unset) gives on a
// machine with PROCESSORS processors: a whole number from 1, or PROCESSORS
// when VALUE is unset or not such a number.
int ThreadBudget(const char* value, int processors);

// What an encoder's thread count is set to: the budget, or 0 (the library's
// own choice, every processor) when VALUE gives none or gives every processor.
int EncoderThreadCount(const char* value, int processors);

// EncoderThreadCount for this process: its environment and the processors
// the system reports.
int EncoderThreadCount();
