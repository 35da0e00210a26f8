#include "kernel/crash/crash.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "child_runner.h"

using orvik_test::Child;
using orvik_test::ChildOptions;
using orvik_test::ReadFile;
using orvik_test::TestFolder;

namespace {

// Both sanitizers bring their own allocator in place of glibc's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerAllocator = true;
#else
constexpr bool kSanitizerAllocator = false;
#endif

// AddressSanitizer would take the fatal signals itself; the program's own handlers must.
const char kSanitizerOptions[] =
    "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigill=0:handle_sigfpe=0:handle_abort=0:"
    "allow_user_segv_handler=1:detect_leaks=0";

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct CrashRun {
    int status;
    std::string out;
    std::vector<std::string> files;
    std::string report;  // of Velmor-48249.dmp
};

CrashRun RunCrashProgram(const TestFolder& folder, const std::string& mode) {
    ChildOptions options;
    options.cwd = folder.Path();
    options.env = {kSanitizerOptions};
    Child child({orvik_test::TestProgram("crash_program"), mode}, options);
    CrashRun run;
    run.status = child.Finish();
    run.out = child.out();
    run.files = FilesIn(folder.Path());
    run.report = ReadFile(folder / "Velmor-48249.dmp");
    return run;
}

// The text between `before` and the next `after`; empty when absent.
std::string Between(const std::string& text, const std::string& before, const std::string& after) {
    const size_t start = text.find(before);
    if (start == std::string::npos)
        return "";
    const size_t end = text.find(after, start + before.size());
    if (end == std::string::npos)
        return "";
    return text.substr(start + before.size(), end - start - before.size());
}

// '#' in the pattern stands for a decimal digit.
bool MatchesPattern(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == '#' ? !isdigit(static_cast<unsigned char>(text[i]))
                              : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

bool KilledBy(int status, int signal) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

using Files = std::vector<std::string>;

TEST(CrashReport, FailedAssertionReportsPrintsTheStackAndAborts) {
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "assert");
    EXPECT_TRUE(KilledBy(run.status, SIGABRT)) << run.status;
    EXPECT_EQ(run.files, Files{"Velmor-48249.dmp"});
    EXPECT_NE(run.report.find("Reason: Assertion failed: count == 3\n"), std::string::npos);
    // The frame names its source line (absolute, or relative to the build when a compiler
    // cache rewrote the paths).
    const size_t frame = run.report.find("CheckInventoryCount(int) [");
    ASSERT_NE(frame, std::string::npos) << run.report;
    EXPECT_NE(run.report.substr(frame, run.report.find(']', frame) - frame)
                  .find("tests/kernel/programs/crash_program.cpp:"),
              std::string::npos)
        << run.report;
    EXPECT_NE(run.report.find("\nMemory map:\n"), std::string::npos);
    EXPECT_EQ(run.out.rfind("Assertion failed: count == 3\ncallstack: ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("CheckInventoryCount(int) ["), std::string::npos) << run.out;
}

TEST(CrashReport, TakenNameGetsTheNextNumber) {
    TestFolder folder;
    orvik_test::WriteFile(folder / "Velmor-48249.dmp", "earlier");
    const CrashRun run = RunCrashProgram(folder, "assert");
    EXPECT_EQ(run.files, (Files{"Velmor-48249.dmp", "Velmor-48249_2.dmp"}));
    EXPECT_EQ(run.report, "earlier");
    EXPECT_NE(ReadFile(folder / "Velmor-48249_2.dmp").find("count == 3"), std::string::npos);
}

TEST(CrashReport, SegmentationFaultNamesAddressAndFunction) {
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "segv");
    EXPECT_TRUE(KilledBy(run.status, SIGSEGV)) << run.status;
    EXPECT_EQ(run.files, Files{"Velmor-48249.dmp"});
    const std::string page = Between(run.out, "page 0x", "\n");
    ASSERT_FALSE(page.empty()) << run.out;
    EXPECT_NE(run.report.find("Reason: SIGSEGV\nSignal: 11, code 2\nFault address: 0x" +
                              std::string(16 - page.size(), '0') + page + "\n"),
              std::string::npos)
        << run.report;
    // The first frame is the faulting instruction itself, not the signal handler.
    EXPECT_NE(Between(run.report, "Symbols:\n  #0 ", "\n").find("TouchForbiddenPage"),
              std::string::npos)
        << run.report;
}

TEST(CrashReport, StackOverflowIsReported) {
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "overflow");
    EXPECT_TRUE(KilledBy(run.status, SIGSEGV)) << run.status;
    EXPECT_NE(run.report.find("RecurseDeeply(int, int) ["), std::string::npos) << run.report;
}

// A crash inside malloc leaves the allocator locked; the report must not need it.
TEST(CrashReport, CrashInsideTheAllocatorIsReportedWithSymbols) {
    if (kSanitizerAllocator)
        GTEST_SKIP() << "the sanitizer's allocator is not glibc's";
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "malloc");
    EXPECT_TRUE(KilledBy(run.status, SIGABRT)) << run.status;
    EXPECT_EQ(run.files, Files{"Velmor-48249.dmp"});
    EXPECT_NE(run.report.find("Reason: SIGABRT\n"), std::string::npos) << run.report;
    EXPECT_NE(run.report.find("AllocateAfterCorruption() ["), std::string::npos) << run.report;
}

TEST(CrashReport, ExitReportsOnlyWithoutDisarmAndOnlyOnce) {
    TestFolder unarmed, twice, disarmed;
    const CrashRun exit = RunCrashProgram(unarmed, "exit");
    EXPECT_EQ(exit.status, 0);
    EXPECT_EQ(exit.files, Files{"Velmor-48249.dmp"});
    EXPECT_NE(exit.report.find("Reason: exit without DisarmCrashHandlers\n"), std::string::npos);

    const CrashRun dumped = RunCrashProgram(twice, "dump-then-exit");
    EXPECT_EQ(dumped.status, 0);
    EXPECT_EQ(dumped.files, Files{"Velmor-48249.dmp"});
    EXPECT_NE(dumped.report.find("Reason: WriteDumpNow\n"), std::string::npos);

    const CrashRun orderly = RunCrashProgram(disarmed, "disarm-exit");
    EXPECT_EQ(orderly.status, 0);
    EXPECT_EQ(orderly.files, Files{});
}

TEST(CrashReport, ToolkitReportIsWrittenOnceUnderItsName) {
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "toolkit");
    EXPECT_EQ(run.status, 0);
    const std::string name = Between(run.out, "name [", "]");
    EXPECT_TRUE(MatchesPattern(name, "patcher-v35673-####.##.##-##.##.##.dmp")) << name;
    EXPECT_EQ(run.files, Files{name});
    const std::string report = ReadFile(folder / name);
    EXPECT_NE(report.find("Reason: unhandled exception\n"), std::string::npos) << report;
}

TEST(CrashReport, WithADebuggerTheToolkitReportHasNoName) {
    TestFolder folder;
    ChildOptions options;
    options.cwd = folder.Path();
    options.env = {kSanitizerOptions};
    options.traced = true;
    Child child({orvik_test::TestProgram("crash_program"), "toolkit"}, options);
    EXPECT_EQ(child.Finish(), 0);
    EXPECT_NE(child.out().find("name []"), std::string::npos) << child.out();
    EXPECT_EQ(FilesIn(folder.Path()), Files{});
}

TEST(ConsoleSignals, CloseWhileNotAllowedKeepsTheProcessUntilDisarmed) {
    TestFolder folder;
    ChildOptions options;
    options.cwd = folder.Path();
    options.env = {kSanitizerOptions};
    Child child({orvik_test::TestProgram("crash_program"), "console-keep"}, options);
    ASSERT_TRUE(child.WaitForOutput("ready\n"));
    kill(child.pid(), SIGTERM);
    EXPECT_EQ(child.Finish(), 0);
    EXPECT_EQ(child.out(),
              "ready\nConsole Window event handler called for CtrlType=6\nclose requested\n");
    EXPECT_EQ(FilesIn(folder.Path()), Files{});
}

TEST(ConsoleSignals, AllowedCloseEndsTheProcessWithoutReport) {
    TestFolder folder;
    ChildOptions options;
    options.cwd = folder.Path();
    options.env = {kSanitizerOptions};
    Child child({orvik_test::TestProgram("crash_program"), "console-allow"}, options);
    ASSERT_TRUE(child.WaitForOutput("ready\n"));
    kill(child.pid(), SIGINT);
    EXPECT_TRUE(KilledBy(child.Finish(), SIGINT));
    EXPECT_EQ(child.out(), "ready\nConsole Window event handler called for CtrlType=0\n");
    EXPECT_EQ(FilesIn(folder.Path()), Files{});
}

}  // namespace
