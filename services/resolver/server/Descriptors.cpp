#include "services/resolver/server/Descriptors.h"

#include <QDir>

#include <sys/resource.h>

#include <algorithm>

namespace {

// More than the service ever needs; a higher limit only costs memory in
// the libraries that size tables by it.
constexpr rlim_t WantedOpenFiles = 8192;

}  // namespace

void RaiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = std::min(limit.rlim_max, WantedOpenFiles);
    if (limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_NOFILE, &limit);
}

int OpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > WantedOpenFiles * 16)
        return static_cast<int>(WantedOpenFiles * 16);
    return static_cast<int>(limit.rlim_cur);
}

int FreeDescriptors()
{
    const QDir open(QStringLiteral("/proc/self/fd"));
    if (!open.exists())
        return OpenFileLimit();
    // The listing itself holds one open while it reads.
    const auto count = open.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size();
    return OpenFileLimit() - static_cast<int>(count);
}
