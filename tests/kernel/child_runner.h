// Test support: helper programs run as real children, their standard output and error
// captured separately.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_folder.h"

namespace orvik_test {

[[nodiscard]] inline std::string TestProgram(const std::string& name) {
    return std::string(ORVIK_TEST_PROGRAMS) + "/" + name;
}

struct ChildOptions {
    std::string cwd;               // empty: the test's own
    std::vector<std::string> env;  // NAME=VALUE added to the test's environment
    bool traced = false;           // run under a minimal debugger (this process)
    int syncFd = -1;               // the child waits for one byte on it before exec
};

// A helper program started with fork + exec; Finish() waits for it (nothing is left behind).
class Child {
public:
    Child(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        env.insert(env.end(), options.env.begin(), options.env.end());
        std::vector<char*> argp, envp;
        for (const auto& a : argv)
            argp.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        argp.push_back(nullptr);
        envp.push_back(nullptr);
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            abort();
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0)
                _exit(126);
            if (options.syncFd >= 0) {
                char go;
                if (read(options.syncFd, &go, 1) != 1)
                    _exit(125);
            }
            if (options.traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
                _exit(124);
            execve(argp[0], argp.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~Child() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Finish();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    [[nodiscard]] pid_t pid() const { return m_pid; }
    [[nodiscard]] const std::string& out() const { return m_outText; }
    [[nodiscard]] const std::string& err() const { return m_errText; }

    // Reads output until `text` appeared on standard output; false after `seconds` or at exit.
    [[nodiscard]] bool WaitForOutput(const std::string& text, int seconds = 20) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (m_outText.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !Pump())
                return false;
        }
        return true;
    }

    // Waits for the end of the child and returns its wait status.
    int Finish() {
        while (Pump()) {
        }
        close(m_out);
        close(m_err);
        if (m_pid > 0) {
            while (!m_exited)
                Reap(0);
            m_pid = -1;
        }
        return m_status;
    }

private:
    // One round of reading and of serving the traced child; false once all output was read.
    [[nodiscard]] bool Pump() {
        pollfd fds[2] = {{m_outOpen ? m_out : -1, POLLIN, 0}, {m_errOpen ? m_err : -1, POLLIN, 0}};
        if (!m_outOpen && !m_errOpen)
            return false;
        poll(fds, 2, 50);
        Drain(fds[0], m_out, m_outOpen, m_outText);
        Drain(fds[1], m_err, m_errOpen, m_errText);
        if (!m_exited)
            Reap(WNOHANG);
        return m_outOpen || m_errOpen;
    }

    static void Drain(const pollfd& fd, int handle, bool& open, std::string& text) {
        if (!open || !(fd.revents & (POLLIN | POLLHUP)))
            return;
        char buffer[65536];
        const ssize_t got = read(handle, buffer, sizeof(buffer));
        if (got > 0) {
            text.append(buffer, got);
        } else {
            open = false;
        }
    }

    void Reap(int flags) {
        int status;
        if (waitpid(m_pid, &status, flags) != m_pid)
            return;
        if (WIFSTOPPED(status)) {
            // Acting as the debugger: pass every signal on, swallow the exec trap.
            const int signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
            ptrace(PTRACE_CONT, m_pid, nullptr, reinterpret_cast<void*>(signal));
            return;
        }
        m_status = status;
        m_exited = true;
    }

    pid_t m_pid = -1;
    int m_out = -1, m_err = -1;
    bool m_outOpen = true, m_errOpen = true;
    std::string m_outText, m_errText;
    bool m_exited = false;
    int m_status = 0;
};

}  // namespace orvik_test
