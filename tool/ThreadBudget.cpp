#include "tool/ThreadBudget.h"

#include <cstdlib>
#include <thread>

#include "base/ToolEnvironment.h"

namespace {

// Far more threads than any encoder takes; a larger number is a typing error.
constexpr long MaximumBudget = 1024;

// VALUE as a whole number from 1 (digits only), or 0.
int BudgetValue(const char* value)
{
    if (value == nullptr || *value < '0' || *value > '9')
        return 0;
    char* end = nullptr;
    const long budget = std::strtol(value, &end, 10);
    if (*end != '\0' || budget < 1 || budget > MaximumBudget)
        return 0;
    return static_cast<int>(budget);
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
