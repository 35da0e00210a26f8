// Shared state and pieces of the crash paths; not part of the kernel's interface.
// Implemented in crash.cpp and, for each system, crash_*_posix.cpp or crash_windows.cpp and
// kernel/threads/console_signals_*.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ZephUtil::detail {

// Flags of the crash handlers.
extern std::atomic<bool> g_allowConsoleClose;
extern std::atomic<bool> g_armExitDump;
// The console-control signal that asked to close while closing was not allowed; 0 while none.
extern std::atomic<int> g_closeSignal;

constexpr int kMaxFrames = 64;

// One frame of a call stack, as the call-stack log and the crash reports show it.
struct CallStackFrame {
    std::string module;  // image path; empty when the address lies in no known module
    std::string symbol;  // demangled function name
    std::string file;    // source file, where debug information has it
    int line = 0;
};

// The calling thread's return addresses, frame 0 being the caller of CaptureStack; the count.
int CaptureStack(void** frames, int maxFrames);
// The names of return addresses of this process; failed parts stay empty.
std::vector<CallStackFrame> LookUpFrames(void* const* frames, int count);

// What a crash report tells besides the process's memory map.
struct ReportSubject {
    const char* reason = "";
    int signal = 0;  // 0: a report asked for, not a fatal signal
    int signalCode = 0;
    const void* faultAddress = nullptr;
    int senderPid = 0;
    void* const* frames = nullptr;
    int frameCount = 0;
    bool firstFrameIsFault = false;  // frames[0] is the faulting instruction, not a return address
};

// Writes a report to the open file fd: the subject, the symbolised frames (looked up by a
// fresh copy of this program, so that a crash inside the allocator still gets its names) and
// the memory map. Takes the log lock when it can. Async-signal-safe.
void WriteReport(int fd, const ReportSubject& subject);

// Appends the "Symbols:" section for the frames to the report fd, written by a fresh copy of
// this program that it waits for (at most 30 s). Async-signal-safe.
void AppendSymbols(int fd, void* const* frames, int count, bool firstFrameIsFault);

// The process's one report ("Velmor-48249.dmp" in the current folder, numbered when taken).
// ClaimProcessReport is true for the first caller only; that caller then writes the report
// with WriteProcessReport. Async-signal-safe.
bool ClaimProcessReport();
void WriteProcessReport(const ReportSubject& subject);
// For a fatal signal that lost the claim: wait while another thread still writes the report.
void WaitForProcessReport();

// Report of the calling thread for a non-signal reason (assertion, request, exit); the frames
// start at the caller of this function. Nothing when the process's report was taken.
void WriteRequestedReport(const char* reason);

// The toolkit's report under `name` (replacing a file there) for the caller of
// WriteToolkitDump.
void WriteToolkitReport(const char* name, const char* reason);

// Alternate stack for the calling thread's signal handlers (kept until the thread ends).
void EnsureAltSignalStack();

void InstallFatalSignalHandlers();
void InstallConsoleSignalHandlers();

}  // namespace ZephUtil::detail
