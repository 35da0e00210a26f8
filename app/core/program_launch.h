// Programs this process starts for the user rather than for their output: the elevated copy of
// itself and the `onexit` program. Unlike the kernel's child processes, whose output is read
// through a pipe, these share this process's standard streams and terminal, so that they can
// talk to the user and keep running after this process has ended.
// Implemented in program_launch_posix.cpp and program_launch_windows.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ZephPatch {

// This process's hold on a program it started: the process id on Linux, the process handle
// on Windows. Letting go of it leaves the program running.
class LaunchedProgram {
public:
    LaunchedProgram() = default;
    explicit LaunchedProgram(intptr_t process) : m_process(process) {}
    ~LaunchedProgram();
    LaunchedProgram(const LaunchedProgram&) = delete;
    LaunchedProgram& operator=(const LaunchedProgram&) = delete;
    LaunchedProgram& operator=(LaunchedProgram&& other) noexcept;

    // Waits up to `milliseconds` (-1: no limit) for the program to end. True with its exit code
    // (Linux: 128 + the signal for a killed one) once it has ended; false on time-out, when it
    // keeps running.
    [[nodiscard]] bool Wait(int milliseconds, int* exitCode);

private:
    intptr_t m_process = -1;
};

// Starts `commandLine` in the current folder. Linux: split as SplitCommandLine does, the
// program looked up on PATH. Windows: handed to the system as it is, no handles inherited.
// 0 on success, else the system error code (2 for a missing program on both).
[[nodiscard]] int LaunchCommandLine(const std::string& commandLine, LaunchedProgram* program);

// Linux only. Starts `argv[0]` with `argv` (found on PATH when it holds no '/'), with default
// signal handling and an empty signal mask. 0 on success, else the system error code (ENOENT
// for a missing program, EINVAL for an empty `argv`).
[[nodiscard]] int LaunchProgram(const std::vector<std::string>& argv, LaunchedProgram* program);

// Linux only. The path of `name` on PATH (or `name` itself when it holds a '/'); empty when
// not found or not executable.
[[nodiscard]] std::string FindProgramOnPath(const std::string& name);

}  // namespace ZephPatch
