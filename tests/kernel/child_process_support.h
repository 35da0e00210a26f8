// Test support for the child-process tests: the helper program and the callers' reading order.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kernel/threads/child_process.h"
#include "tests/support/test_folder.h"

namespace orvik_test {

namespace fs = std::filesystem;
using namespace ZephUtil;

inline const std::string kHelper = ORVIK_TEST_PROGRAMS "/kernel_child_helper";

// Reads and waits in the order the callers use; returns the output.
inline std::string Drain(ChildProcess& child) {
    std::string text;
    bool output = true;
    bool errors = true;
    while (output || errors) {
        if (output)
            output = ReadChildOutput(child, text);
        if (errors)
            errors = ReadChildErrors(child, text);
    }
    EXPECT_TRUE(WaitChildProcess(child, -1));
    return text;
}

inline std::string RunHelper(const std::string& arguments, const ChildOptions& options = {}) {
    auto child = StartChildProcess(kHelper, arguments, options);
    if (!child)
        return "<not started>";
    std::string text = Drain(*child);
    CloseChildProcess(*child);
    return text;
}

class ChildProcessTest : public testing::Test {
protected:
    orvik_test::TestFolder m_temp;
    const fs::path m_folder = m_temp.Path();
};

}  // namespace orvik_test
