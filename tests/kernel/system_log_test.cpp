#include "kernel/log/system_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "test_pipe.h"
#include "tests/support/test_folder.h"

using namespace ZephUtil;
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
    ASSERT_TRUE(orvik_test::MakePipe(fds));
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
    ASSERT_TRUE(std::filesystem::create_directory(folder / "my.folder"));
    touch("my.folder/report");
    EXPECT_EQ(MakeLogFilePath(folder / "my.folder/report"), folder / "my.folder/report_2.");
    // A folder of that name is taken, too.
    ASSERT_TRUE(std::filesystem::create_directory(folder / "my.folder/report_2."));
    EXPECT_EQ(MakeLogFilePath(folder / "my.folder/report"), folder / "my.folder/report_3.");
}

}  // namespace
