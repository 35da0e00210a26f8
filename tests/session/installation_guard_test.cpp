#include "session/installation_guard.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kernel/folder_lock.h"
#include "kernel/registry.h"
#include "session/patching_flag.h"
#include "tests/support/test_folder.h"

namespace ZephPatch {
namespace {

namespace fs = std::filesystem;
using orvik_test::ReadFile;
using orvik_test::ScopedEnv;
using orvik_test::TestFolder;
using orvik_test::WriteFile;

// What a killed installer leaves: a patch half applied, the difference tool's named output,
// the session's unpack folder in TEMP, and the IsPatching mark.
class SettleInstallationTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_install + "/bin/a.dll", "half written");
        WriteFile(m_install + "/bin/a.dll.pbk", "old a");
        WriteFile(m_install + "/bin/.a.dll.Xy12Z9", "tool output");
        WriteFile(m_install + "/.patch-journal", "backup bin/a.dll\n");
        WriteFile(m_unpacked + "/data/b.txt", "unpacked");
        WriteFile(m_install + "/.patch-temporaries",
                  m_unpacked + "\n" + (m_folder / "temp/1_to_2.zip") + "\n");
        ZephUtil::RegistryKey key;
        ASSERT_TRUE(
            key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator", ZephUtil::RegAccess::kRead));
        ASSERT_TRUE(SetPatchingFlag());
    }

    SettleResult Settle() {
        return SettleInstallation(m_install, [this](int level, const std::string& text) {
            m_lines.push_back(std::to_string(level) + " " + text);
        });
    }

    TestFolder m_folder;
    std::string m_install = m_folder / "install";
    std::string m_unpacked = m_folder / "temp/file123";
    ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str()};
    std::vector<std::string> m_lines;
};

TEST_F(SettleInstallationTest, AnotherHolderKeepsItOutThenOneLineSaysWhatWasRepaired) {
    {
        ZephUtil::FolderLock other;  // as another installer holds it
        ASSERT_EQ(other.Lock(m_install), ZephUtil::FolderLockResult::kLocked);
        EXPECT_EQ(Settle(), SettleResult::kInUse);
        EXPECT_EQ(ReadFile(m_install + "/bin/a.dll"), "half written");
        EXPECT_TRUE(fs::exists(m_unpacked));
    }
    EXPECT_EQ(Settle(), SettleResult::kReady);
    EXPECT_EQ(ReadFile(m_install + "/bin/a.dll"), "old a");
    std::vector<std::string> left;  // nothing of the killed run
    for (const auto& entry : fs::recursive_directory_iterator(m_install))
        left.push_back(fs::relative(entry.path(), m_install).string());
    EXPECT_EQ(left.size(), 2u);  // bin and bin/a.dll
    EXPECT_TRUE(fs::is_empty(m_folder / "temp"));
    EXPECT_EQ(m_lines, std::vector<std::string>{
                           "2 Repaired after an interrupted run in " + m_install +
                           ": the unfinished patch was undone (1 change reverted); 2 temporary "
                           "items removed; the IsPatching mark was cleared."});

    // Whole and held already: nothing to say.
    m_lines.clear();
    EXPECT_EQ(Settle(), SettleResult::kReady);
    EXPECT_TRUE(m_lines.empty());
}

}  // namespace
}  // namespace ZephPatch
