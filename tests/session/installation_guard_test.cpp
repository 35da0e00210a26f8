#include "session/installation_guard.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kernel/folder_lock.h"
#include "kernel/registry.h"
#include "session/patching_flag.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/test_folder.h"

namespace ZephPatch {
namespace {

namespace fs = std::filesystem;
using orvik_test::ReadFile;
using orvik_test::WriteFile;

// What a killed installer leaves: a patch half applied, the difference tool's named output,
// the session's unpack folder in TEMP, and the IsPatching mark.
TEST(SettleInstallation, AnotherHolderKeepsItOutThenOneLineSaysWhatWasRepaired) {
    orvik_test::TestFolder folder;
    orvik_test::ScopedEnv registry("ORVIK_REGISTRY_ROOT", (folder / "registry").c_str());
    const std::string install = folder / "install", unpacked = folder / "temp/file123";
    WriteFile(install + "/bin/a.dll", "half written");
    WriteFile(install + "/bin/a.dll.pbk", "old a");
    WriteFile(install + "/bin/.a.dll.Xy12Z9", "tool output");
    WriteFile(install + "/.patch-journal", "backup bin/a.dll\n");
    WriteFile(unpacked + "/data/b.txt", "unpacked");
    WriteFile(install + "/.patch-temporaries", unpacked + "\n" + (folder / "temp/1_to_2.zip\n"));
    ZephUtil::RegistryKey key;
    ASSERT_TRUE(
        key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator", ZephUtil::RegAccess::kRead));
    ASSERT_TRUE(SetPatchingFlag());
    orvik_test::RecordingReporter reporter;
    const auto settle = [&] { return SettleInstallation(install, reporter); };

    {
        ZephUtil::FolderLock other;  // as another installer holds it
        ASSERT_EQ(other.Lock(install), ZephUtil::FolderLockResult::kLocked);
        EXPECT_EQ(settle(), SettleResult::kInUse);
        EXPECT_EQ(ReadFile(install + "/bin/a.dll"), "half written");
    }
    EXPECT_EQ(settle(), SettleResult::kReady);
    EXPECT_EQ(ReadFile(install + "/bin/a.dll"), "old a");
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(install), {}), 2);  // bin, a.dll
    EXPECT_TRUE(fs::is_empty(folder / "temp"));
    EXPECT_EQ(reporter.Shown(),
              std::vector<std::string>{
                  "2 Repaired after an interrupted run in " + install +
                  ": the unfinished patch was undone (1 change reverted); 2 temporary "
                  "items removed; the IsPatching mark was cleared."});

    // Whole and held already: nothing to say.
    reporter.lines.clear();
    EXPECT_EQ(settle(), SettleResult::kReady);
    EXPECT_TRUE(reporter.lines.empty());
}

}  // namespace
}  // namespace ZephPatch
