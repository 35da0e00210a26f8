// The process-wide diagnostic log: one line per call, serialised under one re-entrant lock,
// sent to standard output (or the parent's pipe) and to the debugger stream.
// Implemented in system_log.cpp, log_file_path.cpp, stdout_redirect.cpp, velmor_log.cpp and,
// for each system, debugger_output_*.cpp and stdout_pipe_*.cpp.
#pragma once

#include <cstdarg>
#include <string>

namespace ZephUtil {

constexpr int kLogConsole = 1;
constexpr int kLogDebugger = 4;
constexpr int kLogAll = -1;

// The framework build number, carried by crash report names.
inline constexpr const char* kZephBuildVersion = "35673";

// printf-style; a null format does nothing, an empty one writes a bare line end.
// Lines longer than 65,535 characters are cut there. Safe for concurrent use.
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PrintTo(int mask, const char* format, ...) __attribute__((format(printf, 2, 3)));
void VPrintTo(int mask, const char* format, va_list args);

// Wide twins (wprintf conventions of this platform: %ls is a wide string). The text is
// narrowed with ToNarrowString before it is dispatched, so every destination sees the same.
void PrintW(const wchar_t* format, ...);
void PrintToW(int mask, const wchar_t* format, ...);

// The log lock, for the crash paths that keep other threads' lines out of a report.
// Re-entrant for the owning thread.
void LockLog();
void UnlockLog();

// True when standard output was redirected to the parent's FIFO at start.
bool IsStdoutPipeConnected();

// Where console lines go while no parent's FIFO takes them: `onStdout` false keeps them off
// standard output (a console front end that owns the terminal hides its diagnostics there);
// `copyFd` (-1: none) receives a copy of every line, for a session log. The caller keeps the
// descriptor open while it is routed. Safe for concurrent use.
void RouteConsoleLines(bool onStdout, int copyFd);

// First name among NAME, STEM_2.EXT, STEM_3.EXT ... (relative to the current folder) that
// does not exist yet.
std::string MakeLogFilePath(const std::string& name);

// One line on the product channel "Velmor" (severity '?', time prefix), to the debugger stream.
void VelmorLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True while a debugger is attached (TracerPid in /proc/self/status; IsDebuggerPresent).
bool IsDebuggerAttached();

}  // namespace ZephUtil
