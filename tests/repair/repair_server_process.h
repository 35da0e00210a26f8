// zephrepaird as a child process on a free loopback port, for the tests that repair against
// the real server.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kernel/child_process.h"

namespace RepairTest {

inline const std::string kRepairServerProgram = ORVIK_BINARY_DIR "/tools/zephrepaird/zephrepaird";

// zephrepaird on a free loopback port, its output drained while it runs.
class RepairServerProcess {
public:
    explicit RepairServerProcess(const std::filesystem::path& root, bool compress = false) {
        std::vector<std::string> arguments = {"--root", root.string(), "--listen", "127.0.0.1:0"};
        if (compress)
            arguments.push_back("--compress");
        m_child = ZephUtil::StartChildProcessArgv(kRepairServerProgram, arguments);
        EXPECT_NE(m_child, nullptr);
        if (!m_child)
            return;
        const std::string marker = "listening on 127.0.0.1:";
        std::string text;
        size_t at = std::string::npos;
        while ((at = text.find(marker)) == std::string::npos ||
               text.find('\n', at) == std::string::npos)
            if (!ZephUtil::ReadChildOutput(*m_child, text))
                break;
        if (at != std::string::npos)
            m_port = static_cast<uint16_t>(std::stoi(text.substr(at + marker.size())));
        EXPECT_NE(m_port, 0) << text;
        m_drain = std::thread([child = m_child.get()] {
            std::string ignored;
            while (ZephUtil::ReadChildOutput(*child, ignored))
                ignored.clear();
        });
    }
    ~RepairServerProcess() { Kill(); }

    void Kill() {
        if (!m_child)
            return;
        ZephUtil::TerminateChildProcess(*m_child, 9);
        m_drain.join();
        ZephUtil::WaitChildProcess(*m_child, -1);
        ZephUtil::CloseChildProcess(*m_child);
        m_child.reset();
    }
    uint16_t Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    std::unique_ptr<ZephUtil::ChildProcess> m_child;
    std::thread m_drain;
    uint16_t m_port = 0;
};

}  // namespace RepairTest
