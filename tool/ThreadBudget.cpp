#include "tool/ThreadBudget.h"

#include <cstdlib>
#include <thread>

#include "base/ToolEnvironment.h"

namespace {

// Far more threads than any encoder takes; a larger number is a typing error.
constexpr int MaximumBudget = 1024;

// VALUE as a whole number from 1 up to MaximumBudget, or 0.
int BudgetValue(const char* value)
{
    const int budget = EnvironmentCount(value);
    return budget <= MaximumBudget ? budget : 0;
}

}  // namespace

int ThreadBudget(const char* value, int processors)
{
    const int budget = BudgetValue(value);
    if (budget > 0)
        return budget;
    return processors > 0 ? processors : 1;
}

int EncoderThreadCount(const char* value, int processors)
{
    const int budget = BudgetValue(value);
    if (budget == 0 || (processors > 0 && budget >= processors))
        return 0;
    return budget;
}

int EncoderThreadCount()
{
    return EncoderThreadCount(std::getenv(ToolThreadsVariable),
                              static_cast<int>(std::thread::hardware_concurrency()));
}
