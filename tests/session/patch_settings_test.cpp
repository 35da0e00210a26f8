#include "session/patch_settings.h"

#include <gtest/gtest.h>

#include "session/patch_servers.h"
#include "tests/support/test_folder.h"

namespace {

using namespace ZephPatch;
using orvik_test::TestFolder;
using orvik_test::WriteFile;
using Servers = std::vector<std::string>;

class PatchSettingsTest : public ::testing::Test {
protected:
    const Servers& servers() { return m_settings.patchServers; }

    PatchSettings m_settings;
    TestFolder m_folder;
};

TEST_F(PatchSettingsTest, InstalledBuildsKeepOrderAndDropExactDuplicates) {
    AddInstalledBuild(m_settings, "46957");
    AddInstalledBuild(m_settings, "48249");
    AddInstalledBuild(m_settings, "46957");
    AddInstalledBuild(m_settings, "46957b");
    EXPECT_EQ(m_settings.installedBuilds, (Servers{"46957", "48249", "46957b"}));
}

TEST_F(PatchSettingsTest, ServerValueIsSplitAtSemicolons) {
    EXPECT_TRUE(AddPatchServer(m_settings, "ftp.example.com"));
    EXPECT_TRUE(AddPatchServer(m_settings, "a;b"));
    EXPECT_TRUE(AddPatchServer(m_settings, " c ; ;d;"));
    EXPECT_EQ(servers(), (Servers{"ftp.example.com", "a", "b", "c", "d"}));
    EXPECT_FALSE(AddPatchServer(m_settings, ""));
    EXPECT_FALSE(AddPatchServer(m_settings, " ; "));
    EXPECT_EQ(servers().size(), 5u);
}

TEST_F(PatchSettingsTest, ServerListOffersEveryLine) {
    WriteFile(m_folder / "one.txt", "ftp://one.example.com/patches/");
    ASSERT_TRUE(ReadPatchServerList(m_settings, m_folder / "one.txt"))
        << "a one-line file gives its server";
    EXPECT_EQ(servers(), Servers{"ftp://one.example.com/patches/"});

    m_settings = {};
    WriteFile(m_folder / "several.txt", "\xEF\xBB\xBFhttp://a/\n\nftp://b/\n   \nc;d\n");
    ASSERT_TRUE(ReadPatchServerList(m_settings, m_folder / "several.txt"));
    EXPECT_EQ(servers(), (Servers{"http://a/", "ftp://b/", "c", "d"}));

    m_settings = {};
    WriteFile(m_folder / "crlf.txt", "http://a/\r\nhttp://b/\r\n");
    ASSERT_TRUE(ReadPatchServerList(m_settings, m_folder / "crlf.txt"));
    EXPECT_EQ(servers(), (Servers{"http://a/", "http://b/"})) << "no carriage return kept";
}

TEST_F(PatchSettingsTest, ServerListFailsWhenUnreadableOrEmpty) {
    EXPECT_FALSE(ReadPatchServerList(m_settings, m_folder / "missing.txt"));
    WriteFile(m_folder / "empty.txt", "");
    EXPECT_FALSE(ReadPatchServerList(m_settings, m_folder / "empty.txt"));
    WriteFile(m_folder / "blank.txt", "\n \r\n;\n");
    EXPECT_FALSE(ReadPatchServerList(m_settings, m_folder / "blank.txt"));
    EXPECT_FALSE(ReadPatchServerList(m_settings, m_folder.Path())) << "a folder is not a list";
    // Devices that never end, and a file beyond the cap, give nothing at all.
    EXPECT_FALSE(ReadPatchServerList(m_settings, "/dev/zero"));
    EXPECT_FALSE(ReadPatchServerList(m_settings, "/dev/urandom"));
    WriteFile(m_folder / "long.txt", "http://a/\n" + std::string(kMaxServerListBytes, ' '));
    EXPECT_FALSE(ReadPatchServerList(m_settings, m_folder / "long.txt"));
    EXPECT_TRUE(servers().empty());
}

}  // namespace
