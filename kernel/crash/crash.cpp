// Installing and disarming the crash handlers; assertions and reports on request.
#include "kernel/crash/crash.h"

#include <cstdlib>
#include <string>

#include "kernel/crash/crash_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace detail {

std::atomic<bool> g_allowConsoleClose{true};
std::atomic<bool> g_armExitDump{false};
std::atomic<int> g_closeSignal{0};

}  // namespace detail

namespace {

// An exit that skipped the orderly path leaves a report behind.
void ExitHook() {
    if (detail::g_armExitDump)
        detail::WriteRequestedReport("exit without DisarmCrashHandlers");
}

}  // namespace

void InstallCrashHandlers(bool allowConsoleClose) {
    detail::g_allowConsoleClose = allowConsoleClose;
    detail::g_armExitDump = true;
    detail::InstallFatalSignalHandlers();
    static const bool exitHookRegistered = atexit(ExitHook) == 0;
    (void)exitHookRegistered;
    detail::InstallConsoleSignalHandlers();
}

void PrepareThreadForCrashReports() {
    detail::EnsureAltSignalStack();
}

void DisarmCrashHandlers() {
    detail::g_armExitDump = false;
    detail::g_allowConsoleClose = true;
}

bool ConsoleCloseRequested() {
    return detail::g_closeSignal != 0;
}

int ConsoleCloseSignal() {
    return detail::g_closeSignal;
}

void WriteDumpNow() {
    detail::WriteRequestedReport("WriteDumpNow");
}

void ZephAssert(bool condition, const char* text) {
    if (condition)
        return;
    if (!text)
        text = "";
    LockLog();
    Print("Assertion failed: %s", text);
    const std::string reason = std::string("Assertion failed: ") + text;
    detail::WriteRequestedReport(reason.c_str());
    LogCallStack(true);
    UnlockLog();
    abort();
}

}  // namespace ZephUtil
