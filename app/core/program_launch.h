// Programs this process starts for the user rather than for their output: the elevated copy of
// itself and the `onexit` program. Unlike the kernel's child processes, whose output is read
// through a pipe, these share this process's standard streams and terminal, so that they can
// talk to the user and keep running after this process has ended.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ZephPatch {

// Starts `argv[0]` with `argv` (found on PATH when it holds no '/'), with default signal
// handling and an empty signal mask. 0 and `*pid` on success, else the system error code
// (ENOENT for a missing program, EINVAL for an empty `argv`).
[[nodiscard]] int LaunchProgram(const std::vector<std::string>& argv, pid_t* pid);

// Waits up to `milliseconds` (-1: no limit) for `pid` to end. True with its exit code (128 +
// the signal for a killed one) once it has ended and been reaped; false on time-out, when it
// keeps running unreaped.
[[nodiscard]] bool WaitLaunchedProgram(pid_t pid, int milliseconds, int* exitCode);

// The path of `name` on PATH (or `name` itself when it holds a '/'); empty when not found or
// not executable.
[[nodiscard]] std::string FindProgramOnPath(const std::string& name);

}  // namespace ZephPatch
