#include "apply/patch_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_files.h"
#include "tests/support/recording_reporter.h"

namespace ZephPatch {
namespace {

using ZephTest::Exists;
using ZephTest::ReadFile;
using ZephTest::WriteFile;

class PatchJournalTest : public testing::Test {
protected:
    ZephTest::TestFolder install;
    orvik_test::RecordingReporter reporter;
    std::string journal = install / ".patch-journal";
};

TEST_F(PatchJournalTest, RecordsAreWholeLinesOnDisk) {
    // The commit flushes what the steps wrote, a read-only file too (Windows flushes file by
    // file, through a handle open for writing).
    WriteFile(install / "bin/a.dll", "patched");
    std::filesystem::permissions(install / "bin/a.dll", std::filesystem::perms::owner_read);
    {
        PatchJournal writer(install.Path());
        EXPECT_TRUE(writer.RecordCommit()) << "nothing recorded: nothing to commit";
        EXPECT_FALSE(Exists(journal));
        EXPECT_TRUE(writer.RecordBackup("bin/a.dll"));
        EXPECT_TRUE(writer.RecordAdded("new dir/b.txt"));
        EXPECT_TRUE(writer.RecordUninstallLog());
        EXPECT_TRUE(writer.RecordCommit());
        EXPECT_EQ(ReadFile(journal),
                  "backup bin/a.dll\nadded new dir/b.txt\nuninstall-log\ncommit\n");
        EXPECT_TRUE(writer.Remove());
    }
    EXPECT_FALSE(Exists(journal));
    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kNothing);
}

// Every moment of an interruption before the commit, undone.
TEST_F(PatchJournalTest, UndoesAnInterruptedApplication) {
    WriteFile(install / "x.dll", "half written");  // renamed, the tool was writing
    WriteFile(install / "x.dll.pbk", "x original");
    WriteFile(install / "new/y.txt", "added");   // did not exist before
    WriteFile(install / "z.dll", "z original");  // recorded, rename never happened
    WriteFile(install / "w.dll", "w original");  // record cut short: never acted on
    WriteFile(install / "w.dll.pbk", "stale");
    WriteFile(install / "unins000.dat", "new log");
    WriteFile(install / "unins000.dat.pbk", "old log");
    WriteFile(install / "unins000_temp.dat", "partial log");
    WriteFile(journal, "backup x.dll\nadded new/y.txt\nbackup z.dll\nuninstall-log\nbackup w.d");

    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kUndone);
    EXPECT_EQ(ReadFile(install / "x.dll"), "x original");
    EXPECT_FALSE(Exists(install / "x.dll.pbk"));
    EXPECT_FALSE(Exists(install / "new/y.txt"));
    EXPECT_EQ(ReadFile(install / "z.dll"), "z original");
    EXPECT_EQ(ReadFile(install / "w.dll"), "w original");
    EXPECT_EQ(ReadFile(install / "unins000.dat"), "old log");
    EXPECT_FALSE(Exists(install / "unins000.dat.pbk"));
    EXPECT_FALSE(Exists(install / "unins000_temp.dat"));
    EXPECT_FALSE(Exists(journal));

    // Settling twice changes nothing.
    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kNothing);
}

TEST_F(PatchJournalTest, DropsACopyOfTheLogThatWasCutShort) {
    WriteFile(install / "x.dll", "x original");
    WriteFile(install / "unins000.dat", "log");
    WriteFile(install / "unins000.dat.pbk", "lo");
    WriteFile(journal, "backup y.dll\n");
    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kUndone);
    EXPECT_EQ(ReadFile(install / "unins000.dat"), "log");
    EXPECT_FALSE(Exists(install / "unins000.dat.pbk"));
}

TEST_F(PatchJournalTest, CompletesACommittedApplication) {
    WriteFile(install / "x.dll", "x new");
    WriteFile(install / "x.dll.pbk", "x old");
    WriteFile(install / "gone.txt.pbk", "deleted file");
    WriteFile(install / "y.txt", "added");
    WriteFile(install / "unins000.dat", "new log");
    WriteFile(install / "unins000.dat.pbk", "old log");
    WriteFile(journal, "backup x.dll\nbackup gone.txt\nadded y.txt\nuninstall-log\ncommit\n");

    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kCompleted);
    EXPECT_EQ(ReadFile(install / "x.dll"), "x new");
    EXPECT_EQ(ReadFile(install / "y.txt"), "added");
    EXPECT_EQ(ReadFile(install / "unins000.dat"), "new log");
    for (const char* gone : {"x.dll.pbk", "gone.txt.pbk", "unins000.dat.pbk", ".patch-journal"}) {
        EXPECT_FALSE(Exists(install / gone)) << gone;
    }
}

TEST_F(PatchJournalTest, KeepsTheJournalWhileABackupCannotGoBack) {
    WriteFile(install / "x.dll/blocker", "a folder took the file's name");
    WriteFile(install / "x.dll.pbk", "x original");
    WriteFile(journal, "backup x.dll\n");
    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kStuck);
    EXPECT_EQ(ReadFile(install / "x.dll.pbk"), "x original");
    EXPECT_TRUE(Exists(journal));

    std::filesystem::remove_all(install / "x.dll");
    EXPECT_EQ(RecoverInterruptedPatch(install.Path(), reporter), RecoveryResult::kUndone);
    EXPECT_EQ(ReadFile(install / "x.dll"), "x original");
}

}  // namespace
}  // namespace ZephPatch
