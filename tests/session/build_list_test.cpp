#include "session/build_list.h"

#include "tests/package/container_test_support.h"
#include "tests/support/fake_utility.h"
#include "tests/support/recording_reporter.h"

namespace ZephPatch {
namespace {

using namespace ContainerTest;

// An installation whose bin/VelmorUtil.exe is the fixture utility.
class BuildListTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_bin);
        orvik_test::InstallFakeUtility(m_utility);
    }

    bool List(const std::string& builds) {
        WriteFile(m_bin + "/builds.txt", builds);
        return ListBuilds(m_utility, m_list, m_settings, m_reports);
    }

    TestFolder m_folder;
    std::string m_bin = m_folder.Path("install/bin");
    std::string m_utility = m_bin + "/VelmorUtil.exe";
    std::string m_list = m_bin + "/buildList.txt";
    PatchSettings m_settings;
    orvik_test::RecordingReporter m_reports;
};

TEST_F(BuildListTest, BuildsEndAtCommas) {
    EXPECT_TRUE(List("46957,48249,"));
    EXPECT_EQ(m_settings.installedBuilds, (std::vector<std::string>{"46957", "48249"}));
    EXPECT_EQ(m_reports.Shown(), std::vector<std::string>{"0 2 builds found {46957,48249,}"});

    m_settings.installedBuilds.clear();
    EXPECT_TRUE(List("46957,48249"));
    EXPECT_EQ(m_settings.installedBuilds, std::vector<std::string>{"46957"});

    m_settings.installedBuilds.clear();
    EXPECT_FALSE(List("46957"));
    EXPECT_TRUE(m_settings.installedBuilds.empty());

    EXPECT_TRUE(List("46957,\r\n48249,\r\n"));
    EXPECT_EQ(m_settings.installedBuilds, (std::vector<std::string>{"46957", "48249"}));
}

TEST_F(BuildListTest, KnownBuildIsNotAddedTwice) {
    AddInstalledBuild(m_settings, "48249");
    EXPECT_TRUE(List("46957,48249,"));
    EXPECT_EQ(m_settings.installedBuilds, (std::vector<std::string>{"48249", "46957"}));
}

TEST_F(BuildListTest, UtilityIsAskedForTheListThenToCloseTheDaemonAndTheListIsDeleted) {
    EXPECT_TRUE(List("46957,"));
    EXPECT_FALSE(fs::exists(m_list));
    EXPECT_EQ(ReadFile(m_bin + "/VelmorUtil.log"),
              "listbuilds " + m_list + " norender\nclosevaddaemon -nostartvaddaemon norender\n");
    // No list this time: the old one must not be read again.
    fs::remove(m_bin + "/builds.txt");
    m_settings.installedBuilds.clear();
    EXPECT_FALSE(ListBuilds(m_utility, m_list, m_settings, m_reports));
    EXPECT_FALSE(ListBuilds(m_folder.Path("missing.exe"), m_list, m_settings, m_reports));
    EXPECT_TRUE(m_settings.installedBuilds.empty());
}

TEST_F(BuildListTest, CurrentBuildMoves) {
    EXPECT_EQ(CurrentBuild(m_settings), "");
    EXPECT_FALSE(DropCurrentBuild(m_settings));
    m_settings.installedBuilds = {"46957", "48249", "46957b"};
    EXPECT_EQ(CurrentBuild(m_settings), "46957");
    MakeCurrentBuild(m_settings, "48249");
    EXPECT_EQ(m_settings.installedBuilds, (std::vector<std::string>{"48249", "46957", "46957b"}));
    EXPECT_TRUE(DropCurrentBuild(m_settings));
    EXPECT_TRUE(DropCurrentBuild(m_settings));
    EXPECT_FALSE(DropCurrentBuild(m_settings));
    EXPECT_TRUE(m_settings.installedBuilds.empty());
}

}  // namespace
}  // namespace ZephPatch
