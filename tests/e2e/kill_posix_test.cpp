// An application killed (SIGKILL) at many moments of a real patch, then run again: every
// time the installation ends as the old or the new tree, and no user file is lost.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "apply/patch_journal.h"
#include "patch_trees.h"
#include "tests/support/recording_reporter.h"
#include "tools/zephpack/make_patch.h"

namespace ZephPatch {
namespace {
using namespace ZephTest;

// Deterministic content, different per seed.
std::string Content(size_t size, unsigned seed) {
    std::string text(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : text) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>((x >> 16) % 61 + 'A');
    }
    return text;
}

// The paths whose content differs between two trees, for failure messages.
std::string Differences(const std::map<std::string, std::string>& a,
                        const std::map<std::string, std::string>& b) {
    std::string paths;
    for (const auto& [path, content] : a) {
        auto it = b.find(path);
        if (it == b.end() || it->second != content)
            paths += " " + path;
    }
    for (const auto& [path, content] : b) {
        if (!a.count(path))
            paths += " -" + path;
    }
    return paths;
}

class KillTest : public testing::Test {
protected:
    void SetUp() override {
        // Tools orphaned by a killed applier come to this process, which waits for them.
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        const std::string olds = dir / "old", news = dir / "new";
        WriteFile(olds + "/keep.txt", "kept");
        for (unsigned i = 0; i < 3; ++i) {  // changed, one of them across several writes
            const std::string base = Content(i == 0 ? 300000 : 5000, i);
            WriteFile(olds + "/bin/lib" + std::to_string(i) + ".dll", base);
            WriteFile(news + "/bin/lib" + std::to_string(i) + ".dll",
                      base.substr(0, base.size() / 2) + "new" + base.substr(base.size() / 2));
        }
        WriteFile(olds + "/ZephLauncher.exe", Content(2000, 9));
        WriteFile(news + "/ZephLauncher.exe", Content(2100, 9));
        for (unsigned i = 0; i < 3; ++i) {
            WriteFile(olds + "/old/gone" + std::to_string(i) + ".txt", Content(100, 20 + i));
            WriteFile(news + "/fresh/sub/new" + std::to_string(i) + ".txt",
                      Content(i == 0 ? 200000 : 300, 30 + i));
        }
        WriteFile(news + "/keep.txt", "kept");
        std::string error;
        ASSERT_EQ(ZephPack::MakePatchDirectory(olds, news, patch, &error), ZephPack::kPackOk)
            << error;
        // One uninterrupted run: the new log (it names the installation's own paths), the
        // number of file operations and the time it takes.
        MakeInstallation(olds, install);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(RunChild(install, 0), 0) << lastOutput;
        took = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
        operations = std::atol(lastOutput.substr(lastOutput.rfind("ops ") + 4).c_str());
        newLog = ReadBytes(install + "/" + kLogName);
    }

    // Runs the applying child, killed after its k-th file operation (0: never); its exit code.
    int RunChild(const std::string& install, long killAfter, int killAfterMs = -1) {
        ::setenv("APPLY_KILL_AFTER", std::to_string(killAfter).c_str(), 1);
        auto child = ZephUtil::StartChildProcessArgv(APPLY_CHILD_PROGRAM, {install, patch});
        ::unsetenv("APPLY_KILL_AFTER");
        if (!child)
            return -1;
        if (killAfterMs >= 0 && !ZephUtil::WaitChildProcess(*child, killAfterMs)) {
            ZephUtil::TerminateChildProcess(*child, 137);
        }
        std::string output;
        while (ZephUtil::ReadChildOutput(*child, output)) {
        }
        ZephUtil::WaitChildProcess(*child, -1);
        ReapOrphans();
        lastOutput = output;
        return ZephUtil::ChildExitCode(*child);
    }

    static void ReapOrphans() {
        while (waitpid(-1, nullptr, 0) > 0) {
        }
    }

    // After a kill: settled, the installation is the old or the new tree; run again, the new.
    // A stale backup planted before the run may stay as it was.
    void CheckAfterKill(const std::string& moment) {
        SCOPED_TRACE(moment + "\n" + lastOutput);
        const bool hadJournal = Exists(install + "/" + kJournalName);
        orvik_test::RecordingReporter reporter;
        ASSERT_NE(RecoverInterruptedPatch(install, reporter), RecoveryResult::kStuck);
        auto files = InstalledFiles(install);
        if (auto stale = files.find(kStaleBackup); stale != files.end() && stale->second == "stale")
            files.erase(stale);
        const auto log = ReadBytes(install + "/" + kLogName);
        const bool isOld = files == FilesOf(dir / "old") && log == BuildLog(InitialLogRecords());
        const bool isNew = files == FilesOf(dir / "new") && log == newLog;
        ASSERT_TRUE(isOld || isNew)
            << "neither tree" << (hadJournal ? " (journal)" : "")
            << "; differs from the old one in " << Differences(files, FilesOf(dir / "old"))
            << "; from the new one in " << Differences(files, FilesOf(dir / "new"));

        ASSERT_EQ(RunChild(install, 0), 0) << lastOutput;
        EXPECT_TRUE(InstalledFiles(install) == FilesOf(dir / "new"));
        if (isOld) {
            EXPECT_EQ(ReadBytes(install + "/" + kLogName), newLog);
        }
        EXPECT_FALSE(Exists(install + "/" + kJournalName));
    }

    static constexpr const char* kStaleBackup = "bin/lib1.dll.pbk";

    // In memory when possible: the kills are of the process, not the machine, and a hundred
    // applications flushing to a disk would take long.
    TestFolder dir{orvik_test::MemoryTempFolder()};
    std::string patch = dir / "patch";
    std::string install = dir / "install";
    std::vector<uint8_t> newLog;
    long operations = 0;
    long took = 0;
    std::string lastOutput;
};

TEST_F(KillTest, KilledAfterEveryFileOperation) {
    ASSERT_GT(operations, 20);
    for (long k = 1; k <= operations; ++k) {
        MakeInstallation(dir / "old", install);
        const int code = RunChild(install, k);
        ASSERT_EQ(code, 128 + SIGKILL) << "killed after operation " << k;
        CheckAfterKill("killed after operation " + std::to_string(k) + " of " +
                       std::to_string(operations));
        if (HasFatalFailure())
            return;
    }
}

// The same moments as power cuts, for both ways a disk may lose what was not flushed, with a
// backup left stale by some earlier run beside a file the patch changes. The sanitizers'
// slower runs take every fourth moment, each model a different one.
TEST_F(KillTest, PowerCutAfterEveryFileOperation) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr long kStep = 4;
#else
    constexpr long kStep = 1;
#endif
    long first = 1;
    for (const char* model : {"unsynced-lost", "data-lost"}) {
        for (long k = first;; k += kStep) {
            MakeInstallation(dir / "old", install);
            WriteFile(install + "/" + kStaleBackup, "stale");
            ::setenv("APPLY_POWER_CUT", model, 1);
            const int code = RunChild(install, k);
            ::unsetenv("APPLY_POWER_CUT");
            if (code != 128 + SIGKILL) {
                ASSERT_EQ(code, 0) << lastOutput;
                break;
            }
            CheckAfterKill(std::string(model) + " after operation " + std::to_string(k));
            if (HasFatalFailure())
                return;
        }
        first += kStep / 2;
    }
}

TEST_F(KillTest, KilledAtMomentsInTime) {
    for (int step = 0; step < 12; ++step) {
        MakeInstallation(dir / "old", install);
        const int at = static_cast<int>(took * step / 10);
        RunChild(install, 0, at);
        CheckAfterKill("killed after " + std::to_string(at) + " ms");
        if (HasFatalFailure())
            return;
    }
}

}  // namespace
}  // namespace ZephPatch
