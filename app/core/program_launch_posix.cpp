#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

#include "app/core/program_launch.h"
#include "kernel/system/command_line.h"

extern char** environ;

namespace ZephPatch {

// A child not waited for is reaped when this process ends.
LaunchedProgram::~LaunchedProgram() = default;

LaunchedProgram& LaunchedProgram::operator=(LaunchedProgram&& other) noexcept {
    m_process = std::exchange(other.m_process, -1);
    return *this;
}

bool LaunchedProgram::Wait(int milliseconds, int* exitCode) {
    const auto pid = static_cast<pid_t>(m_process);
    if (pid <= 0)
        return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, milliseconds < 0 ? 0 : WNOHANG);
        if (done == pid) {
            *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            m_process = -1;
            return true;
        }
        if (done < 0 && errno != EINTR)
            return false;
        if (milliseconds >= 0 && std::chrono::steady_clock::now() >= deadline)
            return false;
        if (done == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int LaunchCommandLine(const std::string& commandLine, LaunchedProgram* program) {
    return LaunchProgram(ZephUtil::SplitCommandLine(commandLine), program);
}

int LaunchProgram(const std::vector<std::string>& argv, LaunchedProgram* program) {
    if (argv.empty() || argv[0].empty())
        return EINVAL;
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    // The crash and console handlers of this process must not carry over as ignored or
    // blocked signals.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error =
        posix_spawnp(&pid, pointers[0], nullptr, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error == 0)
        *program = LaunchedProgram(pid);
    return error;
}

std::string FindProgramOnPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string folders = (path && *path) ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace ZephPatch
