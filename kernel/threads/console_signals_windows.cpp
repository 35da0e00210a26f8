// The console's control events (Ctrl+C, Ctrl+Break, close, log-off, shutdown), through
// SetConsoleCtrlHandler. The system runs the handler on a thread of its own.
#include <csignal>

#include "kernel/crash/crash_internal.h"
#include "kernel/log/system_log.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil::detail {
namespace {

// The signal the Linux side records for the same request, so that callers (and exit
// statuses) see one value on both systems. Windows' runtime has no SIGHUP.
constexpr int kHangUpSignal = 1;

int SignalFor(DWORD ctrlType) {
    switch (ctrlType) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return SIGINT;
        case CTRL_CLOSE_EVENT:
            return kHangUpSignal;
        default:
            return SIGTERM;
    }
}

BOOL WINAPI OnConsoleEvent(DWORD ctrlType) {
    PrintW(L"Console Window event handler called for CtrlType=%d", static_cast<int>(ctrlType));
    if (g_allowConsoleClose) {
        // Not handled: the system's default ends the process, without a report.
        g_armExitDump = false;
        return FALSE;
    }
    int none = 0;
    g_closeSignal.compare_exchange_strong(none, SignalFor(ctrlType));
    // Close, log-off and shutdown end the process once the handler returns: hold them until
    // the orderly path has run.
    if (ctrlType > CTRL_BREAK_EVENT) {
        while (!g_allowConsoleClose)
            Sleep(1000);
    }
    return TRUE;
}

}  // namespace

void InstallConsoleSignalHandlers() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace ZephUtil::detail
