// The debugger stream: standard error, only while a tracer is attached.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "kernel/files/unique_fd.h"
#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {

// Reads /proc/self/status without allocating, so the crash paths may ask too.
bool IsDebuggerAttached() {
    const UniqueFd fd(open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen())
        return false;
    char status[4096];
    size_t used = 0;
    ssize_t got;
    while (used < sizeof(status) - 1 &&
           ((got = read(fd.Get(), status + used, sizeof(status) - 1 - used)) > 0 ||
            (got < 0 && errno == EINTR))) {
        if (got > 0)
            used += static_cast<size_t>(got);
    }
    status[used] = '\0';
    const char* field = strstr(status, "\nTracerPid:");
    if (!field)
        return false;
    field += strlen("\nTracerPid:");
    while (*field == ' ' || *field == '\t')
        ++field;
    return *field >= '1' && *field <= '9';
}

namespace {

// Reading the status costs more than writing a line, so the answer is kept for a second: a
// debugger that attaches sees the lines from then on.
bool DebuggerAttachedRecently() {
    static std::atomic<long> checkedAt{-1};
    static std::atomic<bool> attached{false};
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    if (checkedAt.exchange(now.tv_sec) != now.tv_sec)
        attached = IsDebuggerAttached();
    return attached;
}

}  // namespace

void detail::WriteToDebugger(const char* text, size_t size) {
    if (DebuggerAttachedRecently())
        WriteAll(STDERR_FILENO, text, size);
}

}  // namespace ZephUtil
