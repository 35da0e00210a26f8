// Shared by the repair tests: temporary folders, file contents, and running a repair job to its
// end; the socket helpers come from the socket tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "kernel/threads/thread.h"
#include "repair/agent_client.h"
#include "repair/agent_protocol.h"
#include "tests/net/socket_test_support.h"
#include "tests/support/test_folder.h"

namespace RepairTest {

using namespace NetTest;
namespace fs = std::filesystem;
using orvik_test::ReadBytes;
using orvik_test::WriteBytes;

// A fresh folder for each test, removed afterwards.
class TempFolderTest : public testing::Test {
protected:
    orvik_test::TestFolder m_temp;
    const fs::path m_folder = m_temp.Path();
};

// Starts the job and waits for it to end (at most a minute).
inline void RunToEnd(ZephPatch::ZephAgentClient& job) {
    job.StartRepair();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (job.IsRunning() && std::chrono::steady_clock::now() < deadline)
        OS::Sleep(5);
    ASSERT_FALSE(job.IsRunning()) << "the repair job did not end";
}

}  // namespace RepairTest
