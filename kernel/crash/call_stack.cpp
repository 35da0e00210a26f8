// `LogCallStack`: the calling thread's frames on the log, with their symbols on request.
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/crash/crash.h"
#include "kernel/crash/crash_internal.h"
#include "kernel/log/system_log.h"
#include "kernel/system/text.h"

namespace ZephUtil {
namespace {

constexpr size_t kMaxAddressText = 511;

// The log's 8-bit form of a name (the symbol lines are wide text narrowed for the log).
std::string Narrow(const std::string& utf8) {
    return ToNarrowString(Utf8ToUtf16(utf8));
}

}  // namespace

__attribute__((noinline)) void LogCallStack(bool withSymbols) {
    void* frames[detail::kMaxFrames];
    const int count = detail::CaptureStack(frames, detail::kMaxFrames);
    LockLog();
    // Frame 0 is this function; the stack starts at its caller.
    std::string addresses;
    for (int i = 1; i < count; ++i) {
        char address[24];
        snprintf(address, sizeof(address), "%llx ",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(frames[i])));
        addresses += address;
    }
    if (addresses.size() > kMaxAddressText)
        addresses.resize(kMaxAddressText);
    Print("callstack: %s", addresses.c_str());
    if (withSymbols) {
        const std::vector<detail::CallStackFrame> symbols =
            detail::LookUpFrames(frames + 1, count - 1);
        for (const detail::CallStackFrame& frame : symbols) {
            Print("  %s %s [%s:%d]", Narrow(frame.module).c_str(), Narrow(frame.symbol).c_str(),
                  Narrow(frame.file).c_str(), frame.line);
        }
    }
    UnlockLog();
}

}  // namespace ZephUtil
