// The debugger stream on Windows: OutputDebugStringA, which the system passes to an attached
// debugger (or a debug-output viewer).
#include <string>

#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {

bool IsDebuggerAttached() {
    return IsDebuggerPresent();
}

void detail::WriteToDebugger(const char* text, size_t size) {
    // The call takes a terminated text; the line's bytes are passed as they are.
    OutputDebugStringA(std::string(text, size).c_str());
}

}  // namespace ZephUtil
