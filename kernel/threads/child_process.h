// Runs another program with its standard output and standard error captured through one pipe.
// Never throws: a failed start is a null result, the exit code is for the caller to judge.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kernel/files/unique_fd.h"

namespace ZephUtil {

// A process id of the system (pid_t on Linux, a DWORD on Windows); -1 for none.
using ProcessId = int;

// What the system keeps for a started process besides its id: a pidfd on Linux; the process
// handle (and the job that ends it with its starter) on Windows.
struct ChildSystemState;

// Owned by the caller that started it. REQUIRES: one thread at a time, except that
// TerminateChildProcess may be called from another thread while the owner reads or waits.
struct ChildProcess {
    ChildProcess() = default;
    ~ChildProcess();  // closes what CloseChildProcess closes, if the owner has not
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    ProcessId processId = -1;
    std::unique_ptr<ChildSystemState> system;  // race-free waits and kills
    UniqueFd outputRead;                       // read end of the pipe carrying stdout and stderr
    UniqueFd errorRead;                        // never opened: both streams share outputRead
    // Raw wait status (Linux) or exit code (Windows) once reaped; -1 if the system reaped it
    // itself.
    int exitStatus = -1;
    std::atomic<bool> reaped{false};
    std::atomic<bool> terminated{false};  // TerminateChildProcess was called...
    std::atomic<int> terminateCode{0};    // ...with this exit code
    std::vector<char> readBuffer;         // 8 KiB, allocated at the first read
};

struct ChildOptions {
    std::string workingDirectory;  // empty: the parent's
    // The child is killed (SIGKILL) when the thread that started it ends, the process being
    // killed included, so that it never outlives its starter, not even one that died while it
    // was being started. REQUIRES: that thread waits for the child. (Windows: when the
    // starting process ends, through a job object.)
    bool endWithStarter = false;
};

// Starts `program` (UTF-8 path, started as it is, no PATH search) with `arguments` split by
// SplitCommandLine; its argv[0] is `program`. On Windows the command line is the quoted
// program, one blank and `arguments` unchanged, started without a console window. Standard input is
// the parent's; the child starts with no blocked signals and default signal actions. Null when the
// program cannot be started (missing, not executable, working directory missing). Safe for
// concurrent use: no other child inherits this one's pipe.
std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::string& arguments,
                                                const ChildOptions& options = {});
// The same with the arguments already split (quoted for the child's command line on Windows).
std::unique_ptr<ChildProcess> StartChildProcessArgv(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const ChildOptions& options = {});

// One blocking read of at most 8,192 bytes appended to `text` (up to a zero byte). False at
// the end of the pipe (the child and everything it started have closed it) or on a failed read.
bool ReadChildOutput(ChildProcess& child, std::string& text);
// Always false: standard error shares the output pipe.
bool ReadChildErrors(ChildProcess& child, std::string& text);
// True when the process has ended (and it is then reaped), false on time-out; -1 = no limit.
bool WaitChildProcess(ChildProcess& child, int milliseconds);
// The exit code, 128 + the signal for a killed child (Windows: the exception code of a
// crashed one), or -1 when it has not been reaped.
int ChildExitCode(const ChildProcess& child);
// True when the child ended by a signal (a crash or a kill) rather than by exiting (Windows:
// by an unhandled exception or TerminateChildProcess).
bool ChildWasSignalled(const ChildProcess& child);
// Kills the child (SIGKILL); it is then seen to end with `exitCode`. Nothing happens to a
// child that has already ended.
void TerminateChildProcess(ChildProcess& child, int exitCode);
// Closes the pipe and reaps the child if it has ended. It does not wait for a running one: that
// one is reaped in the background once it ends, so that it never lingers as a zombie.
void CloseChildProcess(ChildProcess& child);

// True when the process exists and has not ended (a zombie counts as ended).
bool IsProcessRunning(ProcessId processId);

}  // namespace ZephUtil
