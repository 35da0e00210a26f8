// The log's Linux streams: SIGPIPE, the debugger on standard error, the parent's FIFO.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "child_runner.h"
#include "kernel/log/system_log.h"
#include "test_pipe.h"

using namespace ZephUtil;
using orvik_test::Child;
using orvik_test::ChildOptions;
using orvik_test::TestFolder;

namespace {

// A parent that stopped reading must not end the process (SIGPIPE) nor leave a signal behind.
TEST(SystemLog, LinesToAGoneReaderAreDroppedQuietly) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    Print("nobody reads this");
    dup2(saved, STDOUT_FILENO);
    close(saved);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

const char kPlainLines[] = "plain line 1\nwide caf? \x96 \x93q\x94\n\nconsole only\n";

TEST(SystemLogOutput, WithoutAPipeLinesGoToStdoutAsBytes) {
    Child child({orvik_test::TestProgram("log_lines_program")});
    ASSERT_EQ(child.Finish(), 0);
    EXPECT_EQ(child.out(), kPlainLines);
    EXPECT_EQ(child.err(), "") << "no debugger attached";
}

TEST(SystemLogOutput, DebuggerReceivesLinesWithTheirLineEnd) {
    // LeakSanitizer cannot run under a tracer.
    ChildOptions options;
    options.env = {"ASAN_OPTIONS=detect_leaks=0"};
    options.traced = true;
    Child child({orvik_test::TestProgram("log_lines_program")}, options);
    ASSERT_EQ(child.Finish(), 0);
    EXPECT_EQ(child.out(), kPlainLines);
    EXPECT_EQ(
        child.err(),
        "plain line 1\nwide caf? \x96 \x93q\x94\n\ndebugger only\n?   0:00.0 : velmor text\r\n");
}

// The parent prepares <TMPDIR>/<child pid>cout before the child runs and reads UTF-16LE lines.
TEST(SystemLogOutput, ParentsFifoReceivesUtf16Lines) {
    TestFolder folder;
    int go[2];
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    ChildOptions options;
    options.env = {"TMPDIR=" + folder.Path()};
    options.syncFd = go[0];
    Child child({orvik_test::TestProgram("log_lines_program")}, options);
    close(go[0]);
    const std::string fifo = folder / (std::to_string(child.pid()) + "cout");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
    std::string bytes;
    // Until every writer is gone; POLLHUP comes only after a writer was there.
    for (int rounds = 0; rounds < 400; ++rounds) {
        pollfd ready{reader, POLLIN, 0};
        poll(&ready, 1, 50);
        char buffer[4096];
        const ssize_t got = read(reader, buffer, sizeof(buffer));
        if (got > 0)
            bytes.append(buffer, got);
        if (got == 0 && (ready.revents & POLLHUP))
            break;
    }
    close(reader);
    ASSERT_EQ(child.Finish(), 0);
    EXPECT_EQ(child.out(), "");
    ASSERT_EQ(bytes.size() % 2, 0u);
    EXPECT_EQ(orvik_test::FromUtf16Le(bytes),
              u"plain line 1\nwide caf? \u2013 \u201cq\u201d\n\nconsole only\n");
}

// A FIFO nobody reads (left by an earlier process with the same pid) must not stall the start.
TEST(SystemLogOutput, FifoWithoutReaderIsIgnored) {
    TestFolder folder;
    int go[2];
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    ChildOptions options;
    options.env = {"TMPDIR=" + folder.Path()};
    options.syncFd = go[0];
    Child child({orvik_test::TestProgram("log_lines_program")}, options);
    close(go[0]);
    ASSERT_EQ(mkfifo((folder / (std::to_string(child.pid()) + "cout")).c_str(), 0600), 0);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
    ASSERT_EQ(child.Finish(), 0);
    EXPECT_EQ(child.out(), kPlainLines);
}

}  // namespace
