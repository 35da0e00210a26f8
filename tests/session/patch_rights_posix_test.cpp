// The rights check on the Linux mapping: the registry as folders, TEMP then TMPDIR.
#include "session/patch_rights.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "kernel/registry/registry.h"
#include "session/patching_flag.h"
#include "tests/support/test_folder.h"

namespace {

using namespace ZephPatch;
using orvik_test::ReadFile;
using orvik_test::ScopedEnv;
using orvik_test::TestFolder;
using orvik_test::WriteFile;

class PatchRightsTest : public ::testing::Test {
protected:
    TestFolder m_folder;
    std::string m_install = m_folder / "velmor";
    ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str()};
    ScopedEnv m_temp{"TEMP", (m_folder / "temp/nested").c_str()};
};

TEST_F(PatchRightsTest, PassesAndPreparesRegistryKeyAndTemporaryFolder) {
    WriteFile(m_install + "/bin/Velmor.exe", "MZ");
    EXPECT_TRUE(CheckPatchRights(m_install));
    EXPECT_TRUE(std::filesystem::is_directory(m_folder / "registry/Software/Orvik"));
    EXPECT_TRUE(std::filesystem::is_directory(m_folder / "temp/nested"));
    EXPECT_EQ(ReadFile(m_install + "/bin/Velmor.exe"), "MZ") << "opened, not changed";
    EXPECT_TRUE(CheckPatchRights(m_folder / "not-installed")) << "nothing there to refuse";
}

TEST_F(PatchRightsTest, TemporaryFolderComesFromTempThenTmpdir) {
    EXPECT_EQ(TempFolder(), m_folder / "temp/nested");
    ScopedEnv noTemp("TEMP", "");
    ScopedEnv tmpdir("TMPDIR", "/var/tmp/x");
    EXPECT_EQ(TempFolder(), "/var/tmp/x");
    ScopedEnv noTmpdir("TMPDIR", nullptr);
    EXPECT_EQ(TempFolder(), "/tmp");
}

// Each failure made so that it holds for root too.
TEST_F(PatchRightsTest, FailsWhenAnyPartCannotBeWritten) {
    {
        WriteFile(m_folder / "file", "x");
        ScopedEnv registry("ORVIK_REGISTRY_ROOT", (m_folder / "file/registry").c_str());
        EXPECT_FALSE(CheckPatchRights(m_install)) << "registry below a file";
    }
    {
        ScopedEnv temp("TEMP", (m_folder / "file/temp").c_str());
        EXPECT_FALSE(CheckPatchRights(m_install)) << "temporary folder below a file";
    }
    std::filesystem::create_directories(m_install + "/bin/Velmor.exe");
    EXPECT_FALSE(CheckPatchRights(m_install)) << "Velmor.exe cannot be opened for update";
}

TEST_F(PatchRightsTest, FailsForAnOrdinaryUserOnReadOnlyInstallation) {
    ASSERT_TRUE(CheckPatchRights(m_install + "-none"));  // makes the registry key and TEMP
    WriteFile(m_install + "/bin/Velmor.exe", "MZ");
    WriteFile(m_install + "/writable/bin/Velmor.exe", "MZ");
    chmod((m_install + "/bin/Velmor.exe").c_str(), 0444);
    std::filesystem::permissions(m_folder / "registry", std::filesystem::perms::all,
                                 std::filesystem::perm_options::replace);
    for (const char* folder : {"registry/Software", "registry/Software/Orvik", "temp",
                               "temp/nested", "velmor/writable", "velmor/writable/bin"})
        chmod((m_folder / folder).c_str(), 0777);
    chmod((m_install + "/writable/bin/Velmor.exe").c_str(), 0666);
    const int result = orvik_test::RunUnprivileged(m_folder.Path(), [] {
        setenv("ORVIK_REGISTRY_ROOT", "registry", 1);
        setenv("TEMP", "temp/nested", 1);
        return CheckPatchRights("velmor/writable") && !CheckPatchRights("velmor") &&
               !CheckPatchRights("velmor/bin");  // the folder itself is read-only
    });
    if (result == orvik_test::kUnprivilegedUnavailable)
        GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(result, 0);
}

TEST_F(PatchRightsTest, PatchingFlagIsSetAndClearedInTheProductKey) {
    EXPECT_FALSE(SetPatchingFlag()) << "no product key";
    ZephUtil::RegistryKey key;
    ASSERT_TRUE(
        key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator", ZephUtil::RegAccess::kRead));
    ASSERT_TRUE(SetPatchingFlag());
    const std::string value =
        m_folder / "registry/SOFTWARE/Orvik/Products/VelmorSimulator/@IsPatching";
    EXPECT_EQ(ReadFile(value), "REG_DWORD\n1\n");
    EXPECT_TRUE(ClearPatchingFlag());
    EXPECT_FALSE(std::filesystem::exists(value));
    EXPECT_FALSE(ClearPatchingFlag()) << "already cleared";
}

}  // namespace
