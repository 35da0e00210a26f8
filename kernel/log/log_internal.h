// Pieces the log and the crash paths share; not part of the kernel's interface.
// Implemented in system_log.cpp, log_file_path.cpp, stdout_redirect.cpp and, for each system,
// debugger_output_*.cpp, write_all_*.cpp and stdout_pipe_*.cpp.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace ZephUtil::detail {

// Formats like vsnprintf into a buffer that grows from 4,096 characters; text beyond
// 65,535 characters is cut.
std::string FormatLine(const char* format, va_list args);

// Writes all bytes to fd, retrying partial and interrupted writes. A reader that went away
// (EPIPE) is ignored like every other error, without SIGPIPE. Async-signal-safe.
void WriteAll(int fd, const void* data, size_t size);

// The debugger stream: the bytes go to standard error while a debugger is attached.
// Async-signal-safe.
void WriteToDebugger(const char* text, size_t size);

// One line (ending "\n") to standard output: UTF-16LE when the parent's FIFO is connected,
// else the 8-bit bytes.
void WriteToConsole(const std::string& line);

// Makes the parent's pipe for our process id standard output, when the parent prepared one.
// True when it did. Called once, at static initialisation.
bool ConnectStdoutPipe();

// Tries the log lock for at most `milliseconds`; false when another thread kept it. The crash
// paths use it so that a wedged logger cannot stop a report.
bool TryLockLogFor(int milliseconds);

// Writes candidate `number` of the numbered-name sequence into out: 1 is NAME itself,
// n > 1 is STEM_n.EXT. False when it does not fit. Async-signal-safe.
bool NumberedLogName(const char* name, int number, char* out, size_t outSize);

}  // namespace ZephUtil::detail
