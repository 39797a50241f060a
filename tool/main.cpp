// ffmod: the conversion tool the program runs for every file.
#include <string>
#include <vector>

#include "tool/Console.h"
#include "tool/OutputFile.h"
#include "tool/ThreadBudget.h"
#include "tool/ToolOptions.h"
#include "tool/TranscoderUnit.h"

int main(int argc, char** argv)
{
    InstallTerminationHandlers();

    const std::vector<std::string> args(argv + 1, argv + argc);
    TToolOptions options;
    std::string error;
    if (!ParseToolArguments(args, options, error)) {
        WriteLine(error);
        return 1;
    }
    if (!options.HasInput) {
        WriteLine(options.HasOutput ? "No input file given: use -i INPUT"
                                    : "usage: ffmod [-vn] -i INPUT [options] [-y] [OUTPUT]");
        return 1;
    }
    SetGivenThreads(options.Threads);
    return RunConversion(options);
}
