#include "kernel/registry/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "tests/support/test_folder.h"

namespace {

using orvik_test::ReadFile;
using orvik_test::TestFolder;
using orvik_test::WriteFile;
using ZephUtil::RegAccess;
using ZephUtil::RegistryKey;
using ZephUtil::RegType;

class RegistryTest : public ::testing::Test {
protected:
    TestFolder m_folder;
    std::string m_root = m_folder / "registry";
    orvik_test::ScopedEnv m_env{"ORVIK_REGISTRY_ROOT", m_root.c_str()};
};

TEST_F(RegistryTest, RootComesFromTheEnvironmentElseTheMachineFolder) {
    EXPECT_EQ(ZephUtil::RegistryRoot(), m_root);
    orvik_test::ScopedEnv empty("ORVIK_REGISTRY_ROOT", "");
    EXPECT_EQ(ZephUtil::RegistryRoot(), "/etc/orvik/registry");
}

TEST_F(RegistryTest, ValuesAreTwoLineFilesOthersCanWriteAndRead) {
    RegistryKey key;
    ASSERT_TRUE(key.Create("SOFTWARE\\Orvik\\Products", RegAccess::kWrite));
    ASSERT_TRUE(key.SetString("Name", "Velmor \xc3\xa9"));
    ASSERT_TRUE(key.SetDword("IsPatching", 1));
    const std::string folder = m_root + "/SOFTWARE/Orvik/Products";
    EXPECT_EQ(ReadFile(folder + "/@Name"), "REG_SZ\nVelmor \xc3\xa9\n");
    EXPECT_EQ(ReadFile(folder + "/@IsPatching"), "REG_DWORD\n1\n");

    // An operator's file: CR LF, no final line feed, blanks around the number.
    WriteFile(folder + "/@Count", "REG_DWORD\r\n 4294967295 ");
    WriteFile(folder + "/@Path", "REG_SZ\n/opt/velmor/");
    WriteFile(folder + "/@Broken", "REG_DWORD\nmany\n");
    uint32_t number = 0;
    std::string text;
    EXPECT_TRUE(key.QueryDword("Count", &number));
    EXPECT_EQ(number, 4294967295u);
    EXPECT_TRUE(key.QueryString("Path", &text));
    EXPECT_EQ(text, "/opt/velmor/");
    EXPECT_FALSE(key.QueryDword("Broken", &number));
    EXPECT_FALSE(key.QueryString("Count", &text)) << "a number is not a string";
    EXPECT_FALSE(key.QueryString("Missing", &text));
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCaseAndKeepTheirSpelling) {
    RegistryKey key;
    ASSERT_TRUE(key.Create("SOFTWARE\\Orvik", RegAccess::kWrite));
    ASSERT_TRUE(key.SetDword("IsPatching", 1));

    RegistryKey again;
    ASSERT_TRUE(again.Open("software/ORVIK", RegAccess::kWrite));
    EXPECT_EQ(again.Folder(), m_root + "/SOFTWARE/Orvik");
    uint32_t number = 0;
    EXPECT_TRUE(again.QueryDword("ispatching", &number));
    ASSERT_TRUE(again.SetDword("ISPATCHING", 7));
    EXPECT_EQ(ReadFile(m_root + "/SOFTWARE/Orvik/@IsPatching"), "REG_DWORD\n7\n");
    EXPECT_FALSE(std::filesystem::exists(m_root + "/SOFTWARE/Orvik/@ISPATCHING"));

    // Creating with another spelling reuses the existing folders.
    RegistryKey created;
    ASSERT_TRUE(created.Create("Software\\orvik\\Products", RegAccess::kRead));
    EXPECT_EQ(created.Folder(), m_root + "/SOFTWARE/Orvik/Products");

    EXPECT_TRUE(again.DeleteValue("isPATCHING"));
    EXPECT_FALSE(again.QueryDword("IsPatching", &number));
    EXPECT_FALSE(again.DeleteValue("IsPatching")) << "nothing left to delete";
}

TEST_F(RegistryTest, ReplacingAValueNeverRewritesTheOldFileInPlace) {
    RegistryKey key;
    ASSERT_TRUE(key.Create("Software\\Orvik", RegAccess::kWrite));
    ASSERT_TRUE(key.SetString("ReleaseNotesURL", "http://old/"));
    // A reader holding the old file (here: a second link to it) keeps seeing the old value
    // whole; the new one arrives by rename.
    const std::string value = m_root + "/Software/Orvik/@ReleaseNotesURL";
    ASSERT_EQ(link(value.c_str(), (m_folder / "held").c_str()), 0);
    ASSERT_TRUE(key.SetString("ReleaseNotesURL", "http://new/"));
    EXPECT_EQ(ReadFile(m_folder / "held"), "REG_SZ\nhttp://old/\n");
    EXPECT_EQ(ReadFile(value), "REG_SZ\nhttp://new/\n");
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_root + "/Software/Orvik"))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{"@ReleaseNotesURL"}) << "no temporary file left";
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderWithoutValues) {
    RegistryKey key;
    ASSERT_TRUE(key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator", RegAccess::kWrite));
    for (const char* name : {"Velmor", "Addon", "beta"}) {
        RegistryKey sub;
        ASSERT_TRUE(sub.Create(std::string("SOFTWARE\\Orvik\\Products\\VelmorSimulator\\") + name,
                               RegAccess::kRead));
    }
    ASSERT_TRUE(key.SetString("Zeta", "a value, not a key"));
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; key.EnumSubKey(i, &name); ++i)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Addon", "Velmor", "beta"}));

    RegistryKey sub;
    EXPECT_TRUE(sub.OpenSubKey(key, "VELMOR", RegAccess::kRead));
    EXPECT_FALSE(sub.OpenSubKey(key, "Missing", RegAccess::kRead));
    EXPECT_FALSE(sub.IsOpen());
}

TEST_F(RegistryTest, NamesThatWouldLeaveTheRootAreRefused) {
    RegistryKey key;
    ASSERT_TRUE(key.Create("Software", RegAccess::kWrite));
    EXPECT_FALSE(key.Create("Software\\..\\..\\escape", RegAccess::kWrite));
    EXPECT_FALSE(key.Create("Software\\\\Orvik", RegAccess::kWrite));
    EXPECT_FALSE(key.Create("Software\\@IsPatching", RegAccess::kWrite));
    ASSERT_TRUE(key.Open("Software", RegAccess::kWrite));
    EXPECT_FALSE(key.SetString("../../escape", "x"));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "escape"));
}

// Root ignores permission bits, so the unwritable cases are ones that hold for root too: a key
// below a regular file cannot be made or opened, and a read-only folder is tested as an
// ordinary user.
TEST_F(RegistryTest, OpenForWriteFailsWhereTheProcessCannotWrite) {
    WriteFile(m_root + "/Software", "a file where a key folder should be");
    RegistryKey key;
    EXPECT_FALSE(key.Create("Software\\Orvik", RegAccess::kWrite));
    EXPECT_FALSE(key.Open("Software", RegAccess::kWrite));

    ASSERT_TRUE(key.Create("Locked\\Key", RegAccess::kRead));
    ASSERT_EQ(chmod((m_root + "/Locked/Key").c_str(), 0555), 0);
    const int result = orvik_test::RunUnprivileged(m_folder.Path(), [] {
        setenv("ORVIK_REGISTRY_ROOT", "registry", 1);
        RegistryKey locked;
        return locked.Open("Locked\\Key", RegAccess::kRead) &&
               !locked.Open("Locked\\Key", RegAccess::kWrite) &&
               !locked.Create("Locked\\Key\\Sub", RegAccess::kRead);
    });
    if (result == orvik_test::kUnprivilegedUnavailable)
        GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(result, 0);
}

}  // namespace
