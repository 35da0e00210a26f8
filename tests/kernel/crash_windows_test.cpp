// Crash reports on Windows are minidumps: the right names, once per process, and only when
// the process did not end in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process_support.h"

namespace {

using namespace orvik_test;
using Files = std::vector<std::string>;

struct CrashRun {
    int exitCode;
    std::string out;
    Files files;
};

CrashRun RunCrashProgram(const TestFolder& folder, const std::string& mode) {
    ChildOptions options;
    options.workingDirectory = folder.Path();
    auto child = StartChildProcessArgv(ORVIK_TEST_PROGRAMS "/crash_program", {mode}, options);
    if (!child)
        return {-1, "<not started>", {}};
    CrashRun run;
    run.out = Drain(*child);
    run.exitCode = ChildExitCode(*child);
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        run.files.push_back(entry.path().filename().string());
    std::sort(run.files.begin(), run.files.end());
    return run;
}

bool IsMinidump(const std::string& path) {
    return ReadFile(path).substr(0, 4) == "MDMP";
}

TEST(CrashDump, AccessViolationLeavesOneNumberedMinidump) {
    TestFolder folder;
    WriteFile(folder / "Velmor-48249.dmp", "earlier");
    const CrashRun run = RunCrashProgram(folder, "segv");
    EXPECT_EQ(static_cast<unsigned>(run.exitCode), 0xC0000005u);  // the access violation
    EXPECT_EQ(run.files, (Files{"Velmor-48249.dmp", "Velmor-48249_2.dmp"}));
    EXPECT_TRUE(IsMinidump(folder / "Velmor-48249_2.dmp"));
    EXPECT_EQ(ReadFile(folder / "Velmor-48249.dmp"), "earlier");
}

TEST(CrashDump, FailedAssertionDumpsLogsTheStackAndAborts) {
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "assert");
    EXPECT_EQ(run.exitCode, 3);  // the runtime's abort
    EXPECT_EQ(run.files, Files{"Velmor-48249.dmp"});
    EXPECT_TRUE(IsMinidump(folder / "Velmor-48249.dmp"));
    EXPECT_NE(run.out.find("Assertion failed: count == 3\ncallstack: "), std::string::npos)
        << run.out;
}

TEST(CrashDump, ExitDumpsOnlyWithoutDisarmAndOnlyOnce) {
    TestFolder unarmed, twice, disarmed;
    const CrashRun exit = RunCrashProgram(unarmed, "exit");
    EXPECT_EQ(exit.exitCode, 0);
    EXPECT_EQ(exit.files, Files{"Velmor-48249.dmp"});
    EXPECT_TRUE(IsMinidump(unarmed / "Velmor-48249.dmp"));
    EXPECT_EQ(RunCrashProgram(twice, "dump-then-exit").files, Files{"Velmor-48249.dmp"});
    EXPECT_EQ(RunCrashProgram(disarmed, "disarm-exit").files, Files{});
}

TEST(CrashDump, ToolkitDumpUnderItsDatedName) {
    TestFolder folder;
    const CrashRun run = RunCrashProgram(folder, "toolkit");
    EXPECT_EQ(run.exitCode, 0);
    const size_t start = run.out.find("name [") + 6;
    const std::string name = run.out.substr(start, run.out.find(']', start) - start);
    EXPECT_EQ(name.rfind("patcher-v35673-", 0), 0u) << name;
    EXPECT_EQ(run.files, Files{name});
    EXPECT_TRUE(IsMinidump(folder / name));
}

}  // namespace
