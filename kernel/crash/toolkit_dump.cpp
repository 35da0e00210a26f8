// The toolkit's crash report: the GUI toolkit's fatal-exception hook writes it under a name
// fixed at start.
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>

#include "kernel/crash/crash.h"
#include "kernel/crash/crash_internal.h"
#include "kernel/files/unique_fd.h"
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
    localtime_r(&now, &local);
    snprintf(g_toolkitDumpName, sizeof(g_toolkitDumpName), "%s-v%s-%i.%02i.%02i-%02i.%02i.%02i.dmp",
             stem.c_str(), kZephBuildVersion, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
             local.tm_hour, local.tm_min, local.tm_sec);
}

std::string ToolkitDumpName() {
    return g_toolkitDumpName;
}

__attribute__((noinline)) void WriteToolkitDump(const char* reason) {
    if (!g_toolkitDumpName[0] || g_toolkitDumpTaken.exchange(true))
        return;
    const UniqueFd fd(open(g_toolkitDumpName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsOpen())
        return;
    void* frames[detail::kMaxFrames];
    const int count = backtrace(frames, detail::kMaxFrames);
    detail::ReportSubject subject;
    subject.reason = reason ? reason : "";
    subject.frames = frames + 1;  // from our caller on
    subject.frameCount = count > 1 ? count - 1 : 0;
    detail::WriteReport(fd.Get(), subject);
}

}  // namespace ZephUtil
