// Console control: SIGINT, SIGHUP and SIGTERM play the console's control events. The signal
// handler only passes the signal on; a watcher thread logs it and decides, so the handling
// may take locks and allocate.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "kernel/crash/crash.h"
#include "kernel/crash/crash_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil::detail {
namespace {

// The control event types the signals stand for: Ctrl+C, close, shutdown.
constexpr struct {
    int signal;
    int ctrlType;
} kConsoleSignals[] = {{SIGINT, 0}, {SIGHUP, 2}, {SIGTERM, 6}};

int g_signalPipe[2] = {-1, -1};

int CtrlType(int signal) {
    for (const auto& entry : kConsoleSignals) {
        if (entry.signal == signal)
            return entry.ctrlType;
    }
    return -1;
}

void OnConsoleSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Non-blocking: with the watcher behind, a repeated signal is dropped, not waited for.
    (void)!write(g_signalPipe[1], &number, 1);
    errno = savedErrno;
}

void HandleConsoleEvent(int signal) {
    PrintW(L"Console Window event handler called for CtrlType=%d", CtrlType(signal));
    if (g_allowConsoleClose) {
        // Not handled: the signal's default action ends the process, without a report.
        g_armExitDump = false;
        struct sigaction standard = {};
        standard.sa_handler = SIG_DFL;
        sigaction(signal, &standard, nullptr);
        kill(getpid(), signal);
        return;
    }
    // Handled: the process lives on; the orderly path sees the request and disarms. The first
    // signal is the one the process answers for.
    int none = 0;
    g_closeSignal.compare_exchange_strong(none, signal);
}

void WatchConsoleSignals() {
    for (;;) {
        unsigned char number;
        const ssize_t got = read(g_signalPipe[0], &number, 1);
        if (got == 1) {
            HandleConsoleEvent(number);
        } else if (got == 0 || errno != EINTR) {
            return;
        }
    }
}

}  // namespace

void InstallConsoleSignalHandlers() {
    if (g_signalPipe[0] >= 0)
        return;
    if (pipe2(g_signalPipe, O_CLOEXEC) != 0)
        return;
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    std::thread(WatchConsoleSignals).detach();
    struct sigaction handler = {};
    handler.sa_handler = OnConsoleSignal;
    handler.sa_flags = SA_RESTART;
    sigemptyset(&handler.sa_mask);
    for (const auto& entry : kConsoleSignals)
        sigaction(entry.signal, &handler, nullptr);
}

}  // namespace ZephUtil::detail
