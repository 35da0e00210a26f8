// A virtual X server on a free display for the window tests, and the reaping of the
// processes a window leaves behind (the web page's helper processes are its children, and
// process 1 here does not reap orphans: this process takes them over instead).
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace orvik_test {

class VirtualDisplay {
public:
    // Starts Xvfb, which picks a free display and tells its number through a pipe.
    VirtualDisplay() {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            m_name = ":" + number;
    }
    ~VirtualDisplay() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", or empty when the server did not start.
    [[nodiscard]] const std::string& Name() const { return m_name; }
    [[nodiscard]] pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    std::string m_name;
};

// Children of this process other than `keep`, from /proc.
[[nodiscard]] inline std::vector<pid_t> ChildrenExcept(pid_t keep) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    if (!proc)
        return children;
    const std::string self = std::to_string(getpid());
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == keep)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "pid (name) state ppid ...": the name may hold spaces, the last ')' ends it.
        const size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::string state, ppid;
        std::istringstream(line.substr(close + 1)) >> state >> ppid;
        if (ppid == self)
            children.push_back(pid);
    }
    closedir(proc);
    return children;
}

// Waits until every child but `keep` has ended (helpers of an ended window end on their own
// once its connection is gone); ends the ones still there after 10 s.
inline void ReapChildren(pid_t keep) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const std::vector<pid_t> children = ChildrenExcept(keep);
        if (children.empty())
            return;
        const bool late = std::chrono::steady_clock::now() > deadline;
        for (pid_t pid : children) {
            if (late)
                kill(pid, SIGKILL);
            waitpid(pid, nullptr, late ? 0 : WNOHANG);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace orvik_test
