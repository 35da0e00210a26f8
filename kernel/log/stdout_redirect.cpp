// `StdoutPipeRedirect`: a parent that wants our lines prepares the FIFO <TMPDIR or /tmp>/<pid>cout
// (created and opened for reading before we start); we then write UTF-16LE lines into it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/files/unique_fd.h"
#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"
#include "kernel/system/text.h"

namespace ZephUtil {
namespace {

std::string PipePath() {
    const char* folder = getenv("TMPDIR");
    if (!folder || !*folder)
        folder = "/tmp";
    return std::string(folder) + "/" + std::to_string(getpid()) + "cout";
}

// Non-blocking open, so a FIFO left behind by an earlier process with our pid and without a
// reader cannot stall start-up (it fails with ENXIO instead). No symlinks, FIFOs only.
bool ConnectPipe() {
    const UniqueFd fd(
        open(PipePath().c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd.IsOpen())
        return false;
    struct stat info;
    const bool isFifo = fstat(fd.Get(), &info) == 0 && S_ISFIFO(info.st_mode);
    // Blocking from here on: a slow reader must slow us down, not lose lines.
    const int flags = fcntl(fd.Get(), F_GETFL);
    const bool connected = isFifo && flags >= 0 &&
                           fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) == 0 &&
                           dup2(fd.Get(), STDOUT_FILENO) == STDOUT_FILENO;
    return connected;
}

struct StdoutPipeRedirect {
    bool pipeConnected = ConnectPipe();
};

const StdoutPipeRedirect& Redirect() {
    static const StdoutPipeRedirect redirect;
    return redirect;
}

std::atomic<bool> g_linesOnStdout{true};
std::atomic<int> g_linesCopy{-1};

// At static initialisation, so that output written before the first line is logged (and
// output of code that writes to stdout directly) reaches the parent too.
[[maybe_unused]] const bool g_redirectAtStart = Redirect().pipeConnected;

}  // namespace

bool IsStdoutPipeConnected() {
    return Redirect().pipeConnected;
}

void RouteConsoleLines(bool onStdout, int copyFd) {
    g_linesOnStdout = onStdout;
    g_linesCopy = copyFd;
}

void detail::WriteToConsole(const std::string& line) {
    // Output others left in the stdio buffer goes first, so the order on the handle holds.
    fflush(stdout);
    if (!Redirect().pipeConnected) {
        if (g_linesOnStdout)
            WriteAll(STDOUT_FILENO, line.data(), line.size());
        if (const int copy = g_linesCopy; copy >= 0)
            WriteAll(copy, line.data(), line.size());
        return;
    }
    const std::u16string wide = FromNarrowString(line);
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());
}

}  // namespace ZephUtil
