// Crash reports: "Velmor-48249.dmp" once per process, written without allocation so that it
// works from a fatal signal handler.
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "kernel/crash/crash.h"
#include "kernel/crash/crash_internal.h"
#include "kernel/crash/report_text.h"
#include "kernel/files/unique_fd.h"
#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil::detail {
namespace {

// The thread that took the process's report, and whether it finished it.
std::atomic<pid_t> g_reportWriter{0};
std::atomic<bool> g_reportDone{false};

constexpr int kLogLockWaitMs = 2000;

bool CarriesFaultAddress(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
}

void WriteSubject(int fd, const ReportSubject& subject) {
    ReportText text(fd);
    text << "Crash report of Velmor build ";
    text.Decimal(kProductBuild) << " (framework " << kZephBuildVersion << ")\n";
    text << "Reason: " << subject.reason << "\n";
    if (subject.signal != 0) {
        text << "Signal: ";
        text.Decimal(subject.signal) << ", code ";
        text.Decimal(subject.signalCode) << "\n";
        if (CarriesFaultAddress(subject.signal)) {
            text << "Fault address: ";
            text.Address(reinterpret_cast<uintptr_t>(subject.faultAddress)) << "\n";
        } else if (subject.senderPid != 0) {
            text << "Sent by process: ";
            text.Decimal(subject.senderPid) << "\n";
        }
    }
    text << "Process: ";
    text.Decimal(getpid()) << "\nThread: ";
    text.Decimal(gettid()) << "\nCall stack:\n";
    for (int i = 0; i < subject.frameCount; ++i) {
        text << "  #";
        text.Decimal(i) << " ";
        text.Address(reinterpret_cast<uintptr_t>(subject.frames[i])) << "\n";
    }
}

void CopyMemoryMap(int fd) {
    WriteAll(fd, "Memory map:\n", 12);
    const UniqueFd maps(open("/proc/self/maps", O_RDONLY | O_CLOEXEC));
    if (!maps.IsOpen())
        return;
    char buffer[4096];
    ssize_t got;
    while ((got = read(maps.Get(), buffer, sizeof(buffer))) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            WriteAll(fd, buffer, static_cast<size_t>(got));
    }
}

// Creates the first free name of the numbered sequence; O_EXCL makes the test and the
// creation one step, so two processes in one folder never share a report.
int CreateNumberedReport() {
    char build[24];
    char plain[48] = "Velmor-";
    strcat(plain, FormatDecimal(kProductBuild, build));
    strcat(plain, ".dmp");
    char name[64];
    for (int number = 1; NumberedLogName(plain, number, name, sizeof(name)); ++number) {
        const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

void WriteReport(int fd, const ReportSubject& subject) {
    const bool locked = TryLockLogFor(kLogLockWaitMs);
    WriteSubject(fd, subject);
    AppendSymbols(fd, subject.frames, subject.frameCount, subject.firstFrameIsFault);
    CopyMemoryMap(fd);
    if (locked)
        UnlockLog();
}

bool ClaimProcessReport() {
    pid_t none = 0;
    return g_reportWriter.compare_exchange_strong(none, gettid());
}

void WriteProcessReport(const ReportSubject& subject) {
    const UniqueFd report(CreateNumberedReport());
    if (report.IsOpen())
        WriteReport(report.Get(), subject);
    g_reportDone = true;
}

void WaitForProcessReport() {
    // A crash inside the writing thread itself must not wait for itself.
    if (g_reportWriter.load() == gettid())
        return;
    // The writer bounds its own steps; this bound only guards against a writer that hangs.
    const timespec step{0, 10 * 1000 * 1000};
    for (int waited = 0; waited < 60 * 100 && !g_reportDone.load(); ++waited) {
        nanosleep(&step, nullptr);
    }
}

__attribute__((noinline)) void WriteToolkitReport(const char* name, const char* reason) {
    const UniqueFd fd(open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsOpen())
        return;
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    ReportSubject subject;
    subject.reason = reason;
    subject.frames = frames + 1;  // from WriteToolkitDump on
    subject.frameCount = count > 1 ? count - 1 : 0;
    WriteReport(fd.Get(), subject);
}

__attribute__((noinline)) void WriteRequestedReport(const char* reason) {
    if (!ClaimProcessReport())
        return;
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    ReportSubject subject;
    subject.reason = reason;
    subject.frames = frames + 1;  // from our caller on
    subject.frameCount = count > 1 ? count - 1 : 0;
    WriteProcessReport(subject);
}

}  // namespace ZephUtil::detail
