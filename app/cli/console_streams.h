// What the console output asks of the system about its streams. Implemented in
// console_streams_posix.cpp and console_streams_windows.cpp.
#pragma once

#include <cstddef>

namespace ZephPatch {

// Readies the process's console for the output: on Windows UTF-8 text and the escape
// sequences that redraw the progress line. Nothing elsewhere.
void PrepareConsole();
// Whether the descriptor is a terminal (on Windows a console, not another character device).
[[nodiscard]] bool IsTerminal(int fd);
// Whether both descriptors lead to the same file, pipe or terminal.
[[nodiscard]] bool SameFile(int first, int second);
// Columns of the terminal on standard output; 80 when it cannot tell.
size_t TerminalColumns();

}  // namespace ZephPatch
