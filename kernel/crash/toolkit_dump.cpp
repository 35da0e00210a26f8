// The toolkit's crash report: the GUI toolkit's fatal-exception hook writes it under a name
// fixed at start.
#include <atomic>
#include <cstdio>
#include <ctime>

#include "kernel/crash/crash.h"
#include "kernel/crash/crash_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace {

char g_toolkitDumpName[257] = "";
std::atomic<bool> g_toolkitDumpTaken{false};

}  // namespace

void SetToolkitDumpName(const std::string& stem) {
    // A debugger catches the exception itself.
    if (IsDebuggerAttached())
        return;
    const time_t now = time(nullptr);
    tm local;
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    snprintf(g_toolkitDumpName, sizeof(g_toolkitDumpName), "%s-v%s-%i.%02i.%02i-%02i.%02i.%02i.dmp",
             stem.c_str(), kZephBuildVersion, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
             local.tm_hour, local.tm_min, local.tm_sec);
}

std::string ToolkitDumpName() {
    return g_toolkitDumpName;
}

void WriteToolkitDump(const char* reason) {
    if (!g_toolkitDumpName[0] || g_toolkitDumpTaken.exchange(true))
        return;
    detail::WriteToolkitReport(g_toolkitDumpName, reason ? reason : "");
}

}  // namespace ZephUtil
