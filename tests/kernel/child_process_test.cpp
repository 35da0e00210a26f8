#include "kernel/threads/child_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "child_process_support.h"
#include "kernel/system/command_line.h"

namespace {

using namespace orvik_test;

TEST(CommandLineTest, SplitsLikeAWindowsCommandLine) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine(""), V{});
    EXPECT_EQ(SplitCommandLine("  a\tb  c "), (V{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("\"with blank\" x\"y z\"w \"\""), (V{"with blank", "xy zw", ""}));
    EXPECT_EQ(SplitCommandLine(R"(a\\b "c\\" d\"e f\\\"g)"),
              (V{R"(a\\b)", R"(c\)", R"(d"e)", R"(f\"g)"}));
    EXPECT_EQ(SplitCommandLine(R"(a"b"" c d)"), (V{R"(ab" c d)"}));
}

TEST_F(ChildProcessTest, ProgramPathWithBlanksAndQuotedArguments) {
    fs::path folder = m_folder / "with blank";
    fs::create_directory(folder);
    const fs::path copy = folder / ("helper copy" + kExeSuffix);
    fs::copy_file(kHelper + kExeSuffix, copy);
    auto child = StartChildProcess(copy.string(), "args \"one two\" three");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Drain(*child), "[one two]\n[three]\n");
    EXPECT_EQ(ChildExitCode(*child), 0);
    EXPECT_FALSE(ChildWasSignalled(*child));
    CloseChildProcess(*child);
}

// Split arguments reach the child as they were, however the system passes them on.
TEST_F(ChildProcessTest, SplitArgumentsArriveUnchangedWithTheExitCode) {
    auto child = StartChildProcessArgv(
        kHelper, {"args", "two words", "", "a\"quote", "back\\", "trail\\ x\\\\"});
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Drain(*child), "[two words]\n[]\n[a\"quote]\n[back\\]\n[trail\\ x\\\\]\n");
    EXPECT_EQ(ChildExitCode(*child), 0);
    auto exited = StartChildProcessArgv(kHelper, {"exit", "3"});
    ASSERT_NE(exited, nullptr);
    EXPECT_EQ(ChildExitCode(*exited), -1);  // not yet waited for
    Drain(*exited);
    EXPECT_EQ(ChildExitCode(*exited), 3);
    EXPECT_FALSE(ChildWasSignalled(*exited));
}

TEST_F(ChildProcessTest, LargeOutputArrivesInOrderInChunks) {
    constexpr size_t kSize = 1 << 20;
    auto child = StartChildProcess(kHelper, "lines " + std::to_string(kSize));
    ASSERT_NE(child, nullptr);
    std::string text;
    int reads = 0;
    for (size_t before = 0; ReadChildOutput(*child, text); before = text.size()) {
        ++reads;
        EXPECT_LE(text.size() - before, 8192u);
    }
    EXPECT_TRUE(WaitChildProcess(*child, -1));
    CloseChildProcess(*child);
    EXPECT_GT(reads, 1);
    ASSERT_GE(text.size(), kSize);
    char line[16];
    for (size_t i = 0; i * 9 < text.size(); i += 997) {
        snprintf(line, sizeof line, "%08zu\n", i);
        ASSERT_EQ(text.substr(i * 9, 9), line) << "at line " << i;
    }
    EXPECT_EQ(text.size() % 9, 0u);
}

TEST_F(ChildProcessTest, OutputAndErrorsShareOnePipeAndAZeroByteEndsTheText) {
    EXPECT_EQ(RunHelper("interleave"), "out0\nerr0\nout1\nerr1\nout2\nerr2\n");
    EXPECT_EQ(RunHelper("zero"), "ab");
}

TEST_F(ChildProcessTest, HangingChildTimesOutThenTerminatesWithTheChosenCode) {
    auto child = StartChildProcess(kHelper, "hang");
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(WaitChildProcess(*child, 50));
    EXPECT_TRUE(IsProcessRunning(child->processId));
    // From another thread, as a canceller does while the owner waits.
    std::thread canceller([&] { TerminateChildProcess(*child, 7); });
    EXPECT_TRUE(WaitChildProcess(*child, -1));
    canceller.join();
    EXPECT_EQ(ChildExitCode(*child), 7);
    EXPECT_TRUE(ChildWasSignalled(*child));
    EXPECT_FALSE(IsProcessRunning(child->processId));
}

}  // namespace
