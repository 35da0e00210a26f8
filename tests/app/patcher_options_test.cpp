#include "app/core/patcher_options.h"

#include "tests/app/shell_fixture.h"

namespace orvik_test {

bool ShellTest::Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/opt/installer/InstallPatchGUI");
    m_state.arguments = std::move(arguments);
    return ZephPatch::ParseCommandLine(m_state, m_settings, m_hooks);
}

namespace {

using Strings = std::vector<std::string>;

using ParseCommandLineTest = ShellTest;

TEST_F(ParseCommandLineTest, TwoParametersAreCurrentBuildAndInstallation) {
    ASSERT_TRUE(Parse({"46957", "/opt/velmor/", "--server", "ftp.example.com", "-a"}));
    EXPECT_EQ(m_settings.installedBuilds, Strings{"46957"});
    EXPECT_EQ(m_settings.installPath, "/opt/velmor/");
    EXPECT_EQ(m_settings.patchServers, Strings{"ftp.example.com"});
    EXPECT_TRUE(m_state.adminGiven);

    m_settings = {};
    ASSERT_TRUE(Parse({"/opt/velmor"}));
    EXPECT_TRUE(m_settings.installedBuilds.empty());
    EXPECT_EQ(m_settings.installPath, "/opt/velmor");
}

TEST_F(ParseCommandLineTest, WithoutParameterOnlyOnexitDebugAndRepairCount) {
    WriteFile(m_folder / "servers.txt", "ftp://a/\n");
    EXPECT_FALSE(Parse({"--server=a;b", "--list", m_folder / "servers.txt", "--admin", "--repair",
                        "--debug", "--onexit=/usr/bin/true now", "--final=48249"}));
    EXPECT_TRUE(m_settings.patchServers.empty());
    EXPECT_FALSE(m_state.adminGiven);
    EXPECT_TRUE(m_settings.repairMode);
    EXPECT_TRUE(m_state.debugMode);
    EXPECT_TRUE(m_state.onExitGiven);
    EXPECT_EQ(m_state.onExitCommand, "/usr/bin/true now");
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(ParseCommandLineTest, ServersFromValueAndListFile) {
    WriteFile(m_folder / "servers.txt", "ftp://c/\r\nftp://d/\r\n");
    ASSERT_TRUE(Parse({"-s", "a;b", "-l", m_folder / "servers.txt", "46957", "/opt/velmor"}));
    EXPECT_EQ(m_settings.patchServers, (Strings{"a", "b", "ftp://c/", "ftp://d/"}));
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(ParseCommandLineTest, BadServerValueAndUnreadableListAreReported) {
    ASSERT_TRUE(Parse({"--server=;", "--list=" + (m_folder / "missing.txt"), "/opt/velmor"}));
    EXPECT_TRUE(m_settings.patchServers.empty());
    const std::vector<std::pair<int, std::string>> expected = {
        {3, "Failed to add ip address ;"},
        {3, "Failed to read list of servers from " + (m_folder / "missing.txt")}};
    EXPECT_EQ(m_reports, expected);
}

TEST_F(ParseCommandLineTest, SyntaxErrorShowsUsageAndIgnoresEveryOption) {
    EXPECT_FALSE(Parse({"--onexit=x", "--debug", "--bogus", "/opt/velmor"}));
    EXPECT_FALSE(m_state.onExitGiven);
    EXPECT_FALSE(m_state.debugMode);
    EXPECT_EQ(m_settings.installPath, "");
    ASSERT_EQ(m_usages.size(), 1u);
    EXPECT_TRUE(m_usages[0].starts_with("Unknown long option 'bogus'\nUsage: InstallPatchGUI "))
        << m_usages[0];
}

TEST_F(ParseCommandLineTest, HelpShowsUsageAndGoesOn) {
    ASSERT_TRUE(Parse({"-h", "/opt/velmor"}));
    ASSERT_EQ(m_usages.size(), 1u);
    EXPECT_TRUE(m_usages[0].starts_with("Usage: InstallPatchGUI [-h]"));
    EXPECT_EQ(m_settings.installPath, "/opt/velmor");
}

}  // namespace
}  // namespace orvik_test
