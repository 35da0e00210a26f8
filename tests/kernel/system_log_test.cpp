#include "kernel/log/system_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "child_runner.h"

using namespace ZephUtil;
using orvik_test::Child;
using orvik_test::ChildOptions;
using orvik_test::TestFolder;

namespace {

// Sends this process's standard output into a file while alive.
class CapturedStdout {
public:
    CapturedStdout() : m_path(m_folder / "stdout") {
        fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        const int file = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDOUT_FILENO);
        close(file);
    }
    ~CapturedStdout() { Restore(); }
    std::string Text() {
        Restore();
        return orvik_test::ReadFile(m_path);
    }

private:
    void Restore() {
        if (m_saved < 0)
            return;
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }
    TestFolder m_folder;
    std::string m_path;
    int m_saved = -1;
};

std::string Captured(void (*print)()) {
    CapturedStdout capture;
    print();
    return capture.Text();
}

const char* const kNoFormat = nullptr;

TEST(SystemLog, LongLinesGrowTheBufferAndAreCutAt65535) {
    for (size_t length : {4095u, 4096u, 5000u, 65535u, 70000u}) {
        const std::string text(length, 'x');
        CapturedStdout capture;
        Print("%s", text.c_str());
        PrintW(L"%ls", std::wstring(length, L'w').c_str());
        const size_t kept = std::min<size_t>(length, 65535);
        EXPECT_EQ(capture.Text(), std::string(kept, 'x') + "\n" + std::string(kept, 'w') + "\n")
            << length;
    }
}

TEST(SystemLog, NullFormatWritesNothingEmptyFormatWritesALineEnd) {
    EXPECT_EQ(Captured([] {
                  VPrintTo(kLogAll, kNoFormat, nullptr);
                  PrintW(nullptr);
                  Print("%s", "");
                  PrintTo(kLogConsole, "%s", "");
              }),
              "\n\n");
}

TEST(SystemLog, MaskSelectsTheDestinations) {
    EXPECT_EQ(Captured([] {
                  PrintTo(kLogDebugger, "debugger only");
                  PrintTo(2, "no destination");
                  PrintTo(kLogConsole | kLogDebugger, "both");
              }),
              "both\n");
}

TEST(SystemLog, WideLinesAreNarrowedForEveryDestination) {
    EXPECT_EQ(
        Captured([] { PrintToW(kLogConsole, L"%ls=%d", L"\u00c4x \u2013 \u2026 \U0001F600", 7); }),
        "?x \x96 \x85 ?"
        "?=7\n");
}

// Lines longer than a pipe holds need several write calls; the lock keeps them whole.
TEST(SystemLog, LinesFromManyThreadsNeverInterleave) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    std::string received;
    std::thread reader([&] {
        char buffer[65536];
        ssize_t got;
        while ((got = read(fds[0], buffer, sizeof(buffer))) > 0)
            received.append(buffer, got);
    });
    std::vector<std::thread> writers;
    for (char mark : {'a', 'b', 'c', 'd'}) {
        writers.emplace_back([mark] {
            const std::string line(65535, mark);
            for (int i = 0; i < 10; ++i)
                Print("%s", line.c_str());
        });
    }
    for (auto& writer : writers)
        writer.join();
    dup2(saved, STDOUT_FILENO);
    close(saved);
    reader.join();
    close(fds[0]);
    ASSERT_EQ(received.size(), 40u * 65536);
    for (size_t at = 0; at < received.size(); at += 65536) {
        const std::string line = received.substr(at, 65536);
        EXPECT_EQ(line, std::string(65535, line[0]) + "\n") << "line at " << at;
    }
}

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

TEST(SystemLog, MakeLogFilePathTakesTheFirstFreeNumber) {
    TestFolder folder;
    const auto touch = [&](const std::string& name) { orvik_test::WriteFile(folder / name, ""); };
    EXPECT_EQ(MakeLogFilePath(folder / "x.dmp"), folder / "x.dmp");
    touch("x.dmp");
    touch("x_2.dmp");
    EXPECT_EQ(MakeLogFilePath(folder / "x.dmp"), folder / "x_3.dmp");
    // The extension is what follows the last dot; a dot in a folder name does not count.
    touch("a.b.c");
    EXPECT_EQ(MakeLogFilePath(folder / "a.b.c"), folder / "a.b_2.c");
    touch("report");
    EXPECT_EQ(MakeLogFilePath(folder / "report"), folder / "report_2.");
    ASSERT_EQ(mkdir((folder / "my.folder").c_str(), 0700), 0);
    touch("my.folder/report");
    EXPECT_EQ(MakeLogFilePath(folder / "my.folder/report"), folder / "my.folder/report_2.");
    // A folder of that name is taken, too.
    ASSERT_EQ(mkdir((folder / "my.folder/report_2.").c_str(), 0700), 0);
    EXPECT_EQ(MakeLogFilePath(folder / "my.folder/report"), folder / "my.folder/report_3.");
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
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    EXPECT_EQ(text, u"plain line 1\nwide caf? \u2013 \u201cq\u201d\n\nconsole only\n");
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
