// The parent's pipe "\\.\pipe\<pid>cout": a parent that makes it before the child starts
// receives every line as UTF-16LE.
#include <gtest/gtest.h>

#include <string>

#include "child_process_support.h"
#include "test_pipe.h"
#include "windows_child.h"

namespace {

using orvik_test::kExeSuffix;

TEST(SystemLogPipe, ParentsPipeReceivesUtf16Lines) {
    orvik_test::SuspendedChild child(ORVIK_TEST_PROGRAMS "/log_lines_program" + kExeSuffix, "");
    ASSERT_TRUE(child.Started());
    const std::wstring name = L"\\\\.\\pipe\\" + std::to_wstring(child.Id()) + L"cout";
    const ZephUtil::UniqueHandle pipe(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, nullptr));
    ASSERT_TRUE(pipe.IsOpen());
    child.Resume();
    ASSERT_TRUE(ConnectNamedPipe(pipe.Get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    EXPECT_EQ(child.Finish(), 0u);
    ASSERT_EQ(bytes.size() % 2, 0u);
    EXPECT_EQ(orvik_test::FromUtf16Le(bytes),
              u"plain line 1\nwide caf? \u2013 \u201cq\u201d\n\nconsole only\n");
}

TEST(SystemLogPipe, WithoutThePipeLinesGoToStdoutAsBytes) {
    auto child = ZephUtil::StartChildProcess(ORVIK_TEST_PROGRAMS "/log_lines_program", "");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(orvik_test::Drain(*child),
              "plain line 1\nwide caf? \x96 \x93q\x94\n\nconsole only\n");
}

}  // namespace
