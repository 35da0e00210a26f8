// `CrashFilter`: the fatal signals SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT write the
// process's crash report, then end the process by the signal's default action.
#include <execinfo.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>

#include "kernel/crash/crash_internal.h"

namespace ZephUtil::detail {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Room for the handler, the unwinder and the symboliser's fork on an overflowed stack.
constexpr size_t kAltStackSize = 256 * 1024;

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "fatal signal";
    }
}

void* FaultingInstruction(const void* context) {
    const auto* state = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return reinterpret_cast<void*>(state->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<void*>(state->uc_mcontext.pc);
#else
    (void)state;
    return nullptr;
#endif
}

void ReportSignal(int signal, const siginfo_t* info, const void* context) {
    // The unwinder sees the handler and the kernel's trampoline first; the report starts at
    // the faulting instruction when the unwinder found it, else it leads with it.
    void* frames[kMaxFrames + 1];
    const int end = 1 + backtrace(frames + 1, kMaxFrames);
    void* const fault = FaultingInstruction(context);
    frames[0] = fault;
    int first = fault ? 0 : 1;
    for (int i = 1; i < end && fault; ++i) {
        if (frames[i] == fault) {
            first = i;
            break;
        }
    }
    ReportSubject subject;
    subject.reason = SignalName(signal);
    subject.signal = signal;
    subject.signalCode = info->si_code;
    subject.faultAddress = info->si_addr;
    subject.senderPid = info->si_code <= 0 ? info->si_pid : 0;
    subject.frames = frames + first;
    subject.frameCount = end - first;
    subject.firstFrameIsFault = fault != nullptr;
    WriteProcessReport(subject);
}

void CrashFilter(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    if (ClaimProcessReport()) {
        ReportSignal(signal, info, context);
    } else {
        WaitForProcessReport();
    }
    // Handled: the default action ends the process once the signal is delivered again (a
    // fault repeats on return, a sent signal is raised here and delivered on return).
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    raise(signal);
    errno = savedErrno;
}

struct AltSignalStack {
    void* memory = nullptr;
    ~AltSignalStack() {
        if (!memory)
            return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(memory, kAltStackSize);
    }
};

}  // namespace

void EnsureAltSignalStack() {
    thread_local AltSignalStack stack;
    if (stack.memory)
        return;
    void* memory = mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t alt = {};
    alt.ss_sp = memory;
    alt.ss_size = kAltStackSize;
    if (sigaltstack(&alt, nullptr) != 0) {
        munmap(memory, kAltStackSize);
        return;
    }
    stack.memory = memory;
}

void InstallFatalSignalHandlers() {
    // The first unwind loads the unwinder library; do it now, not inside a crash.
    void* warmUp[2];
    backtrace(warmUp, 2);
    EnsureAltSignalStack();
    struct sigaction filter = {};
    filter.sa_sigaction = CrashFilter;
    filter.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&filter.sa_mask);
    for (int signal : kFatalSignals)
        sigaction(signal, &filter, nullptr);
}

}  // namespace ZephUtil::detail
