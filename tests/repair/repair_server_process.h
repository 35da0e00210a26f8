// zephrepaird as a child process on a free loopback port, for the tests that repair against
// the real server.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/threads/child_process.h"

namespace RepairTest {

inline const std::string kRepairServerProgram = ORVIK_BINARY_DIR "/tools/zephrepaird/zephrepaird";

// zephrepaird listening on a free port (127.0.0.1 unless `arguments` say where), its output
// kept while it runs.
class RepairServerProcess {
public:
    explicit RepairServerProcess(const std::filesystem::path& root, bool compress = false,
                                 std::vector<std::string> arguments = {"--listen", "127.0.0.1:0"}) {
        arguments.insert(arguments.begin(), {"--root", root.string()});
        if (compress)
            arguments.push_back("--compress");
        m_child = ZephUtil::StartChildProcessArgv(kRepairServerProgram, arguments);
        EXPECT_NE(m_child, nullptr);
        if (!m_child)
            return;
        const std::string marker = "listening on ";
        std::string text;
        size_t at = std::string::npos;
        while ((at = text.find(marker)) == std::string::npos ||
               text.find('\n', at) == std::string::npos)
            if (!ZephUtil::ReadChildOutput(*m_child, text))
                break;
        if (at != std::string::npos) {
            const std::string line = text.substr(at, text.find('\n', at) - at);
            m_port = static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
        }
        EXPECT_NE(m_port, 0) << text;
        m_output = text;
        m_drain = std::thread([this] {
            std::string more;
            while (ZephUtil::ReadChildOutput(*m_child, more)) {
                std::lock_guard lock(m_mutex);
                m_output += more;
                more.clear();
            }
        });
    }
    ~RepairServerProcess() { Stop(SIGKILL); }

    // Sends `signal` and waits for the server to end; its exit code (-1 when none ran).
    int Stop(int signal) {
        if (!m_child)
            return -1;
        kill(m_child->processId, signal);
        m_drain.join();
        ZephUtil::WaitChildProcess(*m_child, -1);
        const int code = ZephUtil::ChildExitCode(*m_child);
        ZephUtil::CloseChildProcess(*m_child);
        m_child.reset();
        return code;
    }
    void Kill() { Stop(SIGKILL); }
    [[nodiscard]] uint16_t Port() const { return m_port; }
    [[nodiscard]] pid_t Pid() const { return m_child ? m_child->processId : -1; }
    [[nodiscard]] std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    [[nodiscard]] std::string Output() {
        std::lock_guard lock(m_mutex);
        return m_output;
    }

private:
    std::unique_ptr<ZephUtil::ChildProcess> m_child;
    std::thread m_drain;
    std::mutex m_mutex;
    std::string m_output;
    uint16_t m_port = 0;
};

}  // namespace RepairTest
