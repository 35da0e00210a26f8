#include "kernel/threads/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "kernel/system/command_line.h"
#include "tests/support/test_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace ZephUtil;

const std::string kHelper = ORVIK_TEST_PROGRAMS "/kernel_child_helper";

// Reads and waits in the order the callers use; returns the output.
std::string Drain(ChildProcess& child) {
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

std::string RunHelper(const std::string& arguments, const ChildOptions& options = {}) {
    auto child = StartChildProcess(kHelper, arguments, options);
    if (!child)
        return "<not started>";
    std::string text = Drain(*child);
    CloseChildProcess(*child);
    return text;
}

// Until the ended child is a zombie, without reaping it.
void AwaitZombie(pid_t pid) {
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
}

class ChildProcessTest : public testing::Test {
protected:
    orvik_test::TestFolder m_temp;
    const fs::path m_folder = m_temp.Path();
};

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
    fs::copy_file(kHelper, folder / "helper copy");
    auto child = StartChildProcess(folder / "helper copy", "args \"one two\" three");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(Drain(*child), "[one two]\n[three]\n");
    EXPECT_EQ(ChildExitCode(*child), 0);
    EXPECT_FALSE(ChildWasSignalled(*child));
    CloseChildProcess(*child);
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

TEST_F(ChildProcessTest, ProgramsThatCannotStartGiveNull) {
    EXPECT_EQ(StartChildProcess((m_folder / "missing").string(), ""), nullptr);
    EXPECT_EQ(StartChildProcess(m_folder.string(), ""), nullptr);  // a folder
    fs::path plain = m_folder / "plain";
    fs::copy_file(kHelper, plain);
    fs::permissions(plain, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::remove);
    EXPECT_EQ(StartChildProcess(plain.string(), "exit 0"), nullptr);
    EXPECT_EQ(StartChildProcess(kHelper, "pwd", {(m_folder / "missing").string()}), nullptr);
}

TEST_F(ChildProcessTest, WorkingDirectoryAndCleanSignalStateAreGiven) {
    EXPECT_EQ(RunHelper("pwd", {m_folder.string()}), m_folder.string());
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    EXPECT_EQ(RunHelper("sigpipe"), "default");
    EXPECT_EQ(RunHelper("sigpipe", {"", true}), "default");  // also when ending with the starter
    sigaction(SIGPIPE, &previous, nullptr);
}

// Killed, the starter takes its child along, even though nobody is left to end it.
TEST_F(ChildProcessTest, ChildEndsWithAKilledStarter) {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the orphan comes to this process
    const pid_t orphan = std::stoi(RunHelper("starter"));
    ASSERT_GT(orphan, 0);
    // It hangs until killed: still there after a generous while, it was never signalled.
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        ended = waitpid(orphan, &status, WNOHANG) == orphan;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
        kill(orphan, SIGKILL);
        waitpid(orphan, &status, 0);
        ADD_FAILURE() << "the child outlived its starter";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

TEST_F(ChildProcessTest, ExitCodesOfExitedAndSignalledChildren) {
    auto exited = StartChildProcessArgv(kHelper, {"exit", "3"});
    ASSERT_NE(exited, nullptr);
    EXPECT_EQ(ChildExitCode(*exited), -1);  // not yet reaped
    Drain(*exited);
    EXPECT_EQ(ChildExitCode(*exited), 3);

    auto killed = StartChildProcess("/bin/sh", "-c \"kill -TERM $$\"");
    ASSERT_NE(killed, nullptr);
    Drain(*killed);
    EXPECT_EQ(ChildExitCode(*killed), 128 + SIGTERM);
    EXPECT_TRUE(ChildWasSignalled(*killed));
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

TEST_F(ChildProcessTest, TerminatingAnEndedChildKeepsItsOwnCode) {
    auto child = StartChildProcessArgv(kHelper, {"exit", "4"});
    ASSERT_NE(child, nullptr);
    AwaitZombie(child->processId);
    TerminateChildProcess(*child, 9);
    EXPECT_TRUE(WaitChildProcess(*child, -1));
    EXPECT_EQ(ChildExitCode(*child), 4);
}

TEST_F(ChildProcessTest, EndedProcessesAreNotRunningReapedOrNot) {
    EXPECT_TRUE(IsProcessRunning(getpid()));
    auto child = StartChildProcessArgv(kHelper, {"exit", "0"});
    ASSERT_NE(child, nullptr);
    pid_t pid = child->processId;
    AwaitZombie(pid);
    EXPECT_FALSE(IsProcessRunning(pid));
    CloseChildProcess(*child);  // reaps the ended child
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_FALSE(IsProcessRunning(pid));
}

TEST_F(ChildProcessTest, ClosingARunningChildStillReapsItOnceItEnds) {
    auto child = StartChildProcess(kHelper, "hang");
    ASSERT_NE(child, nullptr);
    pid_t pid = child->processId;
    child.reset();  // closes without waiting
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    // The background reaper removes it; a zombie would stay visible to kill() forever.
    for (int i = 0; i < 500 && kill(pid, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(ChildProcessTest, StartsFromSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                auto child = StartChildProcessArgv("/bin/echo", {std::to_string(t)});
                good[t] += child && Drain(*child) == std::to_string(t) + "\n";
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good, std::vector<int>(4, 5));
}

}  // namespace
