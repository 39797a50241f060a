#include "tool/LibraryLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <string>

#include "tool/Console.h"

namespace {

std::mutex g_logMutex;
bool g_holdLog = false;
std::string g_heldLog;

void LogToConsole(void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.empty())
        return;
    std::lock_guard lock(g_logMutex);
    if (!g_holdLog)
        WriteLine(text);
    else if (g_heldLog.size() < 16384)
        g_heldLog += text + "\r\n";
}

}  // namespace

void InstallLibraryLog()
{
    av_log_set_callback(LogToConsole);
}

void HoldLibraryLog(bool hold)
{
    std::string held;
    {
        std::lock_guard lock(g_logMutex);
        g_holdLog = hold;
        if (!hold)
            held.swap(g_heldLog);
    }
    if (!held.empty())
        WriteBlock(held);
}
