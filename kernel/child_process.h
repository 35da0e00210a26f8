// Runs another program with its standard output and standard error captured through one pipe.
// Never throws: a failed start is a null result, the exit code is for the caller to judge.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace ZephUtil {

struct ChildProcess {
    pid_t processId = -1;
    int outputRead = -1;  // read end of the pipe carrying stdout and stderr
    int errorRead = -1;   // never opened: both streams share outputRead
    int exitStatus = -1;  // raw wait status once reaped
    bool reaped = false;
    std::vector<char> readBuffer;  // 8 KiB, allocated at the first read
};

struct ChildOptions {
    std::string workingDirectory;  // empty: the parent's
};

// Starts `program` (UTF-8 path, started as it is, no PATH search) with `arguments` split as a
// command line is (blanks separate, double quotes group). Standard input is the parent's.
// Null when the program cannot be started.
std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::string& arguments,
                                                const ChildOptions& options = {});
// The same with the arguments already split.
std::unique_ptr<ChildProcess> StartChildProcessArgv(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const ChildOptions& options = {});

// One blocking read of at most 8,192 bytes appended to `text` (up to a zero byte). False at
// the end of the pipe or on a failed read.
bool ReadChildOutput(ChildProcess& child, std::string& text);
// Always false: standard error shares the output pipe.
bool ReadChildErrors(ChildProcess& child, std::string& text);
// True when the process has ended (and it is then reaped), false on time-out; -1 = no limit.
bool WaitChildProcess(ChildProcess& child, int milliseconds);
// The exit code, 128 + the signal for a killed child, or -1 when it has not been reaped.
int ChildExitCode(const ChildProcess& child);
// True when the child ended by a signal (a crash or a kill) rather than by exiting.
bool ChildWasSignalled(const ChildProcess& child);
// Kills the child (SIGKILL); it is then seen to end with `exitCode`.
void TerminateChildProcess(ChildProcess& child, int exitCode);
// Closes the pipe and reaps the child if it has ended; does not wait for a running one.
void CloseChildProcess(ChildProcess& child);

// True when the process exists and has not ended (a zombie counts as ended).
bool IsProcessRunning(pid_t processId);

}  // namespace ZephUtil
