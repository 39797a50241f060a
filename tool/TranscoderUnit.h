// One conversion: demux, decode, filter, encode and mux one input into one
// output, with the settings of the command line brought to what the chosen
// encoders accept.
#pragma once

#include "tool/ToolOptions.h"

// Runs the whole job and returns the process exit status: 0 when the output
// was written completely, 1 for any failure (after one line saying why).
int RunConversion(const TToolOptions& options);
