// The program named by the `onexit` option, run as this installer ends.
#pragma once

#include "app/core/shell_state.h"

namespace ZephPatch {

// `RunOnExitProgram`: when `onexit` was given with a non-empty text, starts it as a command
// line (LaunchCommandLine) in the current folder and waits at most 1000 ms for it; a program still
// running then is left to run. When it cannot be started, writes message 138 and the system error
// code to standard output.
void RunOnExitProgram(const ShellState& state);

}  // namespace ZephPatch
