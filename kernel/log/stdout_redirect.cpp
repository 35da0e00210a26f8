// `StdoutPipeRedirect`: a parent that wants our lines prepares a pipe named after our process
// id before we start (stdout_pipe_posix.cpp, stdout_pipe_windows.cpp); we then write UTF-16LE
// lines into it.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"
#include "kernel/system/text.h"

namespace ZephUtil {
namespace {

struct StdoutPipeRedirect {
    bool pipeConnected = detail::ConnectStdoutPipe();
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
