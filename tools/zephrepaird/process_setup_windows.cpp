#include <windows.h>

#include <cstdlib>

#include "kernel/log/system_log.h"
#include "tools/zephrepaird/process_setup.h"

namespace ZephRepairServer {
namespace {

// Runs on a thread the system starts for the event.
BOOL WINAPI StopOnConsoleEvent(DWORD event) {
    ZephUtil::Print("zephrepaird> console event %lu: stopping", static_cast<unsigned long>(event));
    std::_Exit(0);
}

}  // namespace

void StopOnRequest() {
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
}

// Sockets are handles here, which no per-process limit short of memory counts.
void RaiseDescriptorLimit() {}

}  // namespace ZephRepairServer
