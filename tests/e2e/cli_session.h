// A sample installation with an installer carrying two patches (46957 -> 48249 -> 50001), made
// by scripts/sample_installation.py, and a run of that installer as a child process.
#pragma once

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_folder.h"

namespace orvik_test {

inline constexpr char kPython[] = "/usr/bin/python3";

[[nodiscard]] inline std::string SampleScript() {
    return std::string(ORVIK_SOURCE_DIR) + "/scripts/sample_installation.py";
}

[[nodiscard]] inline int RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct CliRun {
    int exitCode = -1;
    std::vector<std::string> lines;  // standard output, one entry per line
    std::string raw;                 // on a terminal: everything, as written there
};

inline void SetCliEnvironment(const std::string& registry, const std::string& temp) {
    setenv("ORVIK_REGISTRY_ROOT", registry.c_str(), 1);
    setenv("TEMP", temp.c_str(), 1);
}

[[nodiscard]] inline std::vector<char*> ArgvOf(std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

[[nodiscard]] inline int ExitCodeOf(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs an installer as RunCli does, but on a terminal (a pseudo-terminal for its standard
// input, output and error, as a user at a console has).
[[nodiscard]] inline CliRun RunCliOnTerminal(const std::string& program,
                                             const std::string& registry, const std::string& temp,
                                             std::vector<std::string> arguments) {
    CliRun run;
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv = ArgvOf(arguments);
    int terminal = -1;
    winsize size{};
    size.ws_col = 120;
    size.ws_row = 40;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid == 0) {
        SetCliEnvironment(registry, temp);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (pid < 0)
        return run;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        run.raw.append(buffer, static_cast<size_t>(got));
    close(terminal);
    run.exitCode = ExitCodeOf(pid);
    return run;
}

// Runs an installer with ORVIK_REGISTRY_ROOT = `registry` and TEMP = `temp`, its standard output
// read line by line; `onLine` sees each line as it comes, with the child's pid. `inChild` runs
// in the child just before the installer starts.
[[nodiscard]] inline CliRun RunCli(
    const std::string& program, const std::string& registry, const std::string& temp,
    std::vector<std::string> arguments,
    const std::function<void(const std::string&, pid_t)>& onLine = {},
    const std::function<void()>& inChild = {}) {
    int pipeFds[2];
    CliRun run;
    if (pipe(pipeFds) != 0)
        return run;
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv = ArgvOf(arguments);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        SetCliEnvironment(registry, temp);
        if (inChild)
            inChild();
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string pending;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            run.lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
            if (onLine)
                onLine(run.lines.back(), pid);
        }
    }
    close(pipeFds[0]);
    run.exitCode = ExitCodeOf(pid);
    return run;
}

class CliSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunShell(std::string(kPython) + " " + SampleScript() + " make " +
                           ORVIK_BINARY_DIR + " " + m_folder.Path() + "/sample --files 60"),
                  0);
    }

    [[nodiscard]] std::string Sample(const std::string& name) const {
        return m_folder / ("sample/" + name);
    }

    // Whether the installation holds exactly the tree of `build` (besides run-time files).
    [[nodiscard]] bool InstallationIs(const std::string& build) const {
        return RunShell(std::string(kPython) + " " + SampleScript() + " compare " +
                        Sample("install") + " " + Sample("trees/" + build) + " >/dev/null") == 0;
    }

    // Runs the sample installer with the sample registry and temporary folder; `onLine` sees
    // each output line as it comes, with the child's pid.
    [[nodiscard]] CliRun Run(
        std::vector<std::string> arguments = {},
        const std::function<void(const std::string&, pid_t)>& onLine = {}) const {
        return RunCli(Sample("InstallPatchCLI"), Sample("registry"), Sample("temp"),
                      std::move(arguments), onLine);
    }
    [[nodiscard]] CliRun RunOnTerminal(std::vector<std::string> arguments = {}) const {
        return RunCliOnTerminal(Sample("InstallPatchCLI"), Sample("registry"), Sample("temp"),
                                std::move(arguments));
    }

    TestFolder m_folder;
};

// Whether `expected` appear in `lines` in this order (other lines may come between).
[[nodiscard]] inline bool InOrder(const std::vector<std::string>& lines,
                                  const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const auto& line : lines) {
        if (next < expected.size() && line == expected[next])
            ++next;
    }
    return next == expected.size();
}

[[nodiscard]] inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return InOrder(lines, {line});
}

}  // namespace orvik_test
