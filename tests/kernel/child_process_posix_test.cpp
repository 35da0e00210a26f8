// Child processes and the Linux process model: signals, zombies, reapers, file modes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "child_process_support.h"

namespace {

using namespace orvik_test;

// Until the ended child is a zombie, without reaping it.
void AwaitZombie(pid_t pid) {
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
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

TEST_F(ChildProcessTest, ExitCodeOfASignalledChild) {
    auto killed = StartChildProcess("/bin/sh", "-c \"kill -TERM $$\"");
    ASSERT_NE(killed, nullptr);
    Drain(*killed);
    EXPECT_EQ(ChildExitCode(*killed), 128 + SIGTERM);
    EXPECT_TRUE(ChildWasSignalled(*killed));
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
