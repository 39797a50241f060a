#include "tool/LibraryErrorWatch.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex g_watchMutex;
std::vector<TLibraryErrorWatch*> g_watches;

}  // namespace

TLibraryErrorWatch::TLibraryErrorWatch(const void* context) : m_context(context)
{
    std::lock_guard lock(g_watchMutex);
    g_watches.push_back(this);
}

TLibraryErrorWatch::~TLibraryErrorWatch()
{
    std::lock_guard lock(g_watchMutex);
    g_watches.erase(std::remove(g_watches.begin(), g_watches.end(), this), g_watches.end());
}

int TLibraryErrorWatch::Count() const
{
    std::lock_guard lock(g_watchMutex);
    return m_count;
}

std::string TLibraryErrorWatch::First() const
{
    std::lock_guard lock(g_watchMutex);
    return m_first;
}

void TLibraryErrorWatch::Note(const void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR || !context)
        return;
    std::lock_guard lock(g_watchMutex);
    for (TLibraryErrorWatch* watch : g_watches) {
        if (watch->m_context != context)
            continue;
        if (watch->m_count++ == 0) {
            char line[512];
            int prefix = 0;
            va_list copy;
            va_copy(copy, args);
            av_log_format_line2(nullptr, level, format, copy, line, sizeof line, &prefix);
            va_end(copy);
            watch->m_first = line;
            while (!watch->m_first.empty() &&
                   (watch->m_first.back() == '\n' || watch->m_first.back() == '\r'))
                watch->m_first.pop_back();
        }
    }
}
