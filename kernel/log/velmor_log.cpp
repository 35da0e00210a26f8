// `VelmorLog`: lines of the engine's product channel "Velmor", sent to the debugger stream.
#include <cstdio>
#include <string>

#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace {

// The channel's lines carry a severity mark (index 2 of " !?+-" for these lines) and the
// minutes and seconds since the engine clock started; the installer never starts that clock.
constexpr char kSeverityMarks[] = " !?+-";
constexpr int kVelmorSeverity = 2;
constexpr double kClockMinutes = 0.0;
constexpr double kClockSeconds = 0.0;

}  // namespace

void VelmorLog(const char* format, ...) {
    if (!format)
        return;
    char prefix[64];
    snprintf(prefix, sizeof(prefix), "%c %3.0f:%04.1f : ", kSeverityMarks[kVelmorSeverity],
             kClockMinutes, kClockSeconds);
    va_list args;
    va_start(args, format);
    const std::string line = prefix + detail::FormatLine(format, args) + "\r\n";
    va_end(args);
    LockLog();
    detail::WriteToDebugger(line.data(), line.size());
    UnlockLog();
}

}  // namespace ZephUtil
