// Fatal errors: crash reports ("dumps"), assertions and the call-stack log.
// Implemented in crash.cpp, call_stack.cpp, toolkit_dump.cpp and, for each system,
// crash_*_posix.cpp (reports with a symbolised backtrace) or crash_windows.cpp (minidumps).
#pragma once

#include <string>

namespace ZephUtil {

// The product build that crash report names carry.
constexpr int kProductBuild = 48249;

// Installs the fatal-signal handlers (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT go through the
// crash filter), the exit hook and the console-control handling of SIGINT, SIGTERM and SIGHUP.
// On Windows: the unhandled-exception filter, the runtime's invalid-parameter, pure-call and
// abort handlers, the exit hook and the console control handler. Call once, early, on the
// main thread.
void InstallCrashHandlers(bool allowConsoleClose);

// Gives the calling thread its own alternate signal stack, so that a stack overflow on it is
// reported too. InstallCrashHandlers does it for its caller; other threads call it at start.
void PrepareThreadForCrashReports();

// The orderly exit: no report at exit, console close allowed from now on.
void DisarmCrashHandlers();

// Writes the process's one crash report ("Velmor-48249.dmp", numbered when taken) for the
// calling thread and returns. Later calls, and later crashes, write nothing.
void WriteDumpNow();

// "callstack: ..." with the raw frame addresses and, with symbols, one line per frame.
void LogCallStack(bool withSymbols);

// When the condition is false: "Assertion failed: TEXT", a crash report, the call stack, abort.
void ZephAssert(bool condition, const char* text);

// True once a console-control signal arrived while closing was not allowed.
bool ConsoleCloseRequested();
// That signal (the first of them: SIGINT, SIGTERM or SIGHUP), or 0 while none arrived. On
// Windows the console event maps to the same numbers: Ctrl+C and Ctrl+Break to SIGINT, close
// to 1 (SIGHUP's number), log-off and shutdown to SIGTERM.
int ConsoleCloseSignal();

// Name of the toolkit's crash report ("patcher-v35673-YYYY.MM.DD-hh.mm.ss.dmp"), fixed at
// start unless a debugger is attached; empty until then.
void SetToolkitDumpName(const std::string& stem);
std::string ToolkitDumpName();

// Writes the toolkit's report (once per process) for an exception that left the event loop
// or a guarded thread; a no-op while the name is empty.
void WriteToolkitDump(const char* reason);

}  // namespace ZephUtil

// The checked condition is the message, as the assertion prints it.
#define ZEPH_ASSERT(cond) ::ZephUtil::ZephAssert(static_cast<bool>(cond), #cond)
