// Symbolising the frames of a crash report. A crash may leave the allocator, the loader or
// any other lock of this process taken, so the lookup runs in a fresh copy of this program,
// started from the crashing process with fork + exec (both async-signal-safe), which reads
// the crashed process's modules and appends to the report.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "kernel/crash/crash_internal.h"
#include "kernel/crash/report_text.h"
#include "kernel/crash/symbols.h"

extern char** environ;

namespace ZephUtil::detail {

namespace {

constexpr char kSymboliserFlag[] = "--orvik-crash-symboliser";
constexpr int kFixedArguments = 5;  // program, flag, pid, fd, fault flag
constexpr int kSymboliserSeconds = 30;

// The child's work: argv = program, flag, pid, fd, first-frame-is-fault, addresses...
void Symbolise(int argc, char** argv) {
    const pid_t pid = static_cast<pid_t>(strtol(argv[2], nullptr, 10));
    const int fd = static_cast<int>(strtol(argv[3], nullptr, 10));
    const bool firstFrameIsFault = strcmp(argv[4], "1") == 0;
    const SymbolTable symbols(pid);
    std::string text = "Symbols:\n";
    for (int i = kFixedArguments; i < argc; ++i) {
        const uintptr_t address = strtoull(argv[i], nullptr, 16);
        const CallStackFrame frame =
            symbols.Lookup(address, !(firstFrameIsFault && i == kFixedArguments));
        char head[64];
        snprintf(head, sizeof(head), "  #%d 0x%016llx ", i - kFixedArguments,
                 static_cast<unsigned long long>(address));
        text += head + frame.module + " " + frame.symbol + " [" + frame.file + ":" +
                std::to_string(frame.line) + "]\n";
    }
    WriteAll(fd, text.data(), text.size());
}

// Runs before every other initialiser of the program, so a symboliser child does nothing
// but its lookup.
__attribute__((constructor(101))) void SymboliserEntry(int argc, char** argv, char**) {
    if (argc < kFixedArguments || strcmp(argv[1], kSymboliserFlag) != 0)
        return;
    Symbolise(argc, argv);
    _exit(0);
}

void WaitOrKill(pid_t child) {
    const timespec step{0, 10 * 1000 * 1000};
    for (int waited = 0; waited < kSymboliserSeconds * 100; ++waited) {
        const pid_t done = waitpid(child, nullptr, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            return;
        nanosleep(&step, nullptr);
    }
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

void AppendSymbols(int fd, void* const* frames, int count, bool firstFrameIsFault) {
    if (count > kMaxFrames)
        count = kMaxFrames;
    char texts[kMaxFrames + kFixedArguments][24];
    char* argv[kMaxFrames + kFixedArguments + 1];
    argv[0] = const_cast<char*>("/proc/self/exe");
    argv[1] = const_cast<char*>(kSymboliserFlag);
    argv[2] = FormatDecimal(getpid(), texts[2]);
    argv[3] = FormatDecimal(fd, texts[3]);
    argv[4] = const_cast<char*>(firstFrameIsFault ? "1" : "0");
    for (int i = 0; i < count; ++i) {
        argv[kFixedArguments + i] =
            FormatHex(reinterpret_cast<uintptr_t>(frames[i]), 1, texts[kFixedArguments + i]);
    }
    argv[kFixedArguments + count] = nullptr;
    const pid_t child = _Fork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        fcntl(fd, F_SETFD, 0);  // the report stays open across exec in the child only
        execve(argv[0], argv, environ);
        _exit(127);
    }
    if (child > 0)
        WaitOrKill(child);
}

}  // namespace ZephUtil::detail
