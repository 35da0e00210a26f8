#include "kernel/threads/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>
#include <thread>
#include <utility>

#include "kernel/system/command_line.h"

extern char** environ;

namespace ZephUtil {

struct ChildSystemState {
    UniqueFd processFd;  // pidfd; none where the system has none
};

namespace {

// posix_spawn's attribute and file-action objects, destroyed on every path.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// The spawning thread's signal mask and ignored signals (a network library ignores SIGPIPE)
// must not leak into the child.
bool ResetSignals(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) ==
               0 &&
           posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
           posix_spawnattr_setsigdefault(&attributes, &all) == 0;
}

bool RouteOutput(posix_spawn_file_actions_t& actions, int writeEnd, const ChildOptions& options) {
    if (posix_spawn_file_actions_adddup2(&actions, writeEnd, STDOUT_FILENO) != 0 ||
        posix_spawn_file_actions_adddup2(&actions, writeEnd, STDERR_FILENO) != 0)
        return false;
    return options.workingDirectory.empty() ||
           posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str()) == 0;
}

// The child's side of StartWithDeathSignal: only async-signal-safe calls. Never returns.
[[noreturn]] void ExecWithDeathSignal(const char* program, char* const argv[], int writeEnd,
                                      const ChildOptions& options, pid_t starter, int errorPipe) {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const bool ready =
        dup2(writeEnd, STDOUT_FILENO) >= 0 && dup2(writeEnd, STDERR_FILENO) >= 0 &&
        (options.workingDirectory.empty() || chdir(options.workingDirectory.c_str()) == 0) &&
        prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
    // A starter that died before the request would never send the signal.
    if (ready && getppid() == starter)
        execve(program, argv, environ);
    const int error = errno;
    (void)!write(errorPipe, &error, sizeof error);
    _exit(127);
}

// fork and exec instead of posix_spawn, which cannot ask for the death signal. -1 when the
// program could not be started.
pid_t StartWithDeathSignal(const std::string& program, char* const argv[], int writeEnd,
                           const ChildOptions& options) {
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0)
        return -1;
    UniqueFd errorRead(errorPipe[0]);
    UniqueFd errorWrite(errorPipe[1]);
    const pid_t starter = getpid();
    const pid_t pid = fork();
    if (pid == 0)
        ExecWithDeathSignal(program.c_str(), argv, writeEnd, options, starter, errorWrite.Get());
    if (pid < 0)
        return -1;
    errorWrite.Reset();
    int error = 0;
    ssize_t got;
    do {
        got = read(errorRead.Get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return pid;  // the exec closed the pipe
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return -1;
}

// Collects the exit status if the child has ended. True once it is reaped.
bool TryReap(ChildProcess& child) {
    if (child.reaped)
        return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(child.processId, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    // Otherwise ended, or already gone (ECHILD: the system reaped it), with no status then.
    if (result > 0)
        child.exitStatus = status;
    child.reaped = true;
    return true;
}

// Direct system calls: this glibc's <sys/pidfd.h> cannot be used from C++.
int OpenProcessFd(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int ProcessFd(const ChildProcess& child) {
    return child.system ? child.system->processFd.Get() : -1;
}

void KillByProcessFd(int processFd) {
    syscall(SYS_pidfd_send_signal, processFd, SIGKILL, nullptr, 0);
}

}  // namespace

std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::string& arguments,
                                                const ChildOptions& options) {
    return StartChildProcessArgv(program, SplitCommandLine(arguments), options);
}

std::unique_ptr<ChildProcess> StartChildProcessArgv(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const ChildOptions& options) {
    // Close-on-exec, so that a child another thread starts meanwhile cannot hold the write
    // end open (the reader would never see the end of the pipe).
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return nullptr;
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid;
    if (options.endWithStarter) {
        pid = StartWithDeathSignal(program, argv.data(), writeEnd.Get(), options);
        if (pid < 0)
            return nullptr;
    } else {
        SpawnSetup setup;
        if (!ResetSignals(setup.attributes) ||
            !RouteOutput(setup.actions, writeEnd.Get(), options) ||
            posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(),
                        environ) != 0)
            return nullptr;
    }
    auto child = std::make_unique<ChildProcess>();
    child->processId = pid;
    child->system = std::make_unique<ChildSystemState>();
    child->system->processFd.Reset(OpenProcessFd(pid));
    child->outputRead = std::move(readEnd);
    return child;
}

bool WaitChildProcess(ChildProcess& child, int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    // Without a pidfd the wait polls; the step bounds how late an ending is noticed.
    constexpr int kPollStep = 10;
    while (!TryReap(child)) {
        int remaining = kPollStep;
        if (milliseconds >= 0) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            remaining = static_cast<int>(left.count());
        }
        if (ProcessFd(child) >= 0) {
            pollfd ended{ProcessFd(child), POLLIN, 0};
            poll(&ended, 1, milliseconds < 0 ? -1 : remaining);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(remaining, kPollStep)));
        }
    }
    return true;
}

int ChildExitCode(const ChildProcess& child) {
    if (!child.reaped || child.exitStatus == -1)
        return -1;
    int status = child.exitStatus;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WTERMSIG(status) == SIGKILL && child.terminated)
        return child.terminateCode;
    return 128 + WTERMSIG(status);
}

bool ChildWasSignalled(const ChildProcess& child) {
    return child.reaped && child.exitStatus != -1 && WIFSIGNALED(child.exitStatus);
}

void TerminateChildProcess(ChildProcess& child, int exitCode) {
    child.terminateCode = exitCode;
    child.terminated = true;
    // The pidfd cannot hit a recycled process id; a plain kill must not once it is reaped.
    if (ProcessFd(child) >= 0) {
        KillByProcessFd(ProcessFd(child));
    } else if (!child.reaped && child.processId > 0) {
        kill(child.processId, SIGKILL);
    }
}

void CloseChildProcess(ChildProcess& child) {
    child.outputRead.Reset();
    child.errorRead.Reset();
    if (child.processId > 0 && !TryReap(child)) {
        pid_t pid = child.processId;
        try {
            std::thread([pid] {
                while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }).detach();
            child.reaped = true;  // the background thread owns the id now
        } catch (const std::system_error&) {
            // No thread to spare: the ended child stays a zombie until this process ends.
        }
    }
    child.system.reset();
    child.readBuffer = {};
}

ChildProcess::~ChildProcess() {
    CloseChildProcess(*this);
}

bool IsProcessRunning(ProcessId processId) {
    if (processId <= 0)
        return false;
    if (kill(processId, 0) != 0 && errno != EPERM)
        return false;
    // An ended process that nobody has reaped yet still exists; its state tells.
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= line.size())
        return false;
    char state = line[nameEnd + 2];
    return state != 'Z' && state != 'X';
}

}  // namespace ZephUtil
