#include "tool/ThreadBudget.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "base/ToolEnvironment.h"

namespace {

// Far more threads than any encoder takes; a larger number is a typing error.
constexpr int MaximumBudget = 1024;

int g_givenThreads = ThreadsNotGiven;

// VALUE as a whole number from 1 up to MaximumBudget, or 0.
int BudgetValue(const char* value)
{
    const int budget = EnvironmentCount(value);
    return budget <= MaximumBudget ? budget : 0;
}

// The budget asked for (-threads, else the environment), 0 for every processor.
int AskedBudget(int given, const char* value)
{
    if (given != ThreadsNotGiven)
        return std::clamp(given, 0, MaximumBudget);
    return BudgetValue(value);
}

int Processors()
{
    return static_cast<int>(std::thread::hardware_concurrency());
}

}  // namespace

int ThreadBudget(int given, const char* value, int processors)
{
    const int budget = AskedBudget(given, value);
    if (budget > 0)
        return budget;
    return processors > 0 ? processors : 1;
}

int EncoderThreadCount(int given, const char* value, int processors)
{
    const int budget = AskedBudget(given, value);
    if (budget == 0 || (processors > 0 && budget >= processors))
        return 0;
    return budget;
}

void SetGivenThreads(int given)
{
    g_givenThreads = given;
}

int ThreadBudget()
{
    return ThreadBudget(g_givenThreads, std::getenv(ToolThreadsVariable), Processors());
}

int EncoderThreadCount()
{
    return EncoderThreadCount(g_givenThreads, std::getenv(ToolThreadsVariable), Processors());
}
