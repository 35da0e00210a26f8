#include "app/core/startup.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "kernel/registry/registry.h"
#include "session/session_messages.h"
#include "tests/app/shell_fixture.h"

namespace orvik_test {
namespace {

using ZephPatch::ChooseRunMode;
using ZephPatch::RunMode;
using ZephPatch::RunShellStartup;
using Strings = std::vector<std::string>;

class StartupTest : public ShellTest {
protected:
    StartupTest() {
        char buffer[PATH_MAX];
        m_startFolder = getcwd(buffer, sizeof buffer);
        EXPECT_EQ(chdir(m_folder.Path().c_str()), 0);
    }
    ~StartupTest() override { EXPECT_EQ(chdir(m_startFolder.c_str()), 0); }

    bool Start(std::vector<const char*> argv) {
        argv.insert(argv.begin(), "InstallPatchGUI");
        auto settings =
            RunShellStartup(static_cast<int>(argv.size()), argv.data(), &m_state, m_hooks);
        if (settings)
            m_settings = std::move(*settings);
        return settings.has_value();
    }

    std::string m_startFolder;
};

TEST_F(StartupTest, ParsesRepairsResolvesAndMovesToTheProgramFolder) {
    ASSERT_TRUE(Start({"--admin", "--server=a;b", "46957", "velmor\\\""}));
    EXPECT_EQ(m_settings.installPath, m_folder / "velmor\\")
        << "repaired, then made absolute against the starting folder";
    EXPECT_EQ(m_settings.installedBuilds, Strings{"46957"});
    EXPECT_EQ(m_settings.patchServers, (Strings{"a", "b"}));
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(m_state.executablePath, program);
    EXPECT_EQ(std::filesystem::current_path().string() + "/",
              program.substr(0, program.rfind('/') + 1));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(StartupTest, InstallationComesFromTheRegistryWhenNotGiven) {
    ZephUtil::RegistryKey key;
    ASSERT_TRUE(key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator\\Velmor",
                           ZephUtil::RegAccess::kWrite));
    ASSERT_TRUE(key.SetString("ProductClass", "Velmor"));
    ASSERT_TRUE(key.SetString("ProductInstallPath", "/opt/velmor/"));
    ASSERT_TRUE(Start({"--admin", "--server=ignored"}));
    EXPECT_EQ(m_settings.installPath, "/opt/velmor/");
    EXPECT_TRUE(m_settings.patchServers.empty()) << "no parameter: server ignored";
    EXPECT_EQ(ChooseRunMode(m_settings), RunMode::kNone);
}

TEST_F(StartupTest, AdminWithoutRightsShowsTheMessageAndEnds) {
    WriteFile(m_folder / "file", "x");
    ScopedEnv noRights("ORVIK_REGISTRY_ROOT", (m_folder / "file/registry").c_str());
    m_hooks.elevationProgram = m_folder / "must-not-run";
    EXPECT_FALSE(Start({"--admin", "/opt/velmor"}));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].second, ZephPatch::LoadMessage(ZephPatch::kMsgRequiresAdminCaption));
}

TEST(RunModeTest, RepairThenServersThenEmbeddedPatches) {
    ZephPatch::PatchSettings settings;
    EXPECT_EQ(ChooseRunMode(settings), RunMode::kNone);
    settings.localPatchesReady = true;
    EXPECT_EQ(ChooseRunMode(settings), RunMode::kStandalone);
    settings.patchServers = {"a"};
    EXPECT_EQ(ChooseRunMode(settings), RunMode::kDownload);
    settings.repairMode = true;
    EXPECT_EQ(ChooseRunMode(settings), RunMode::kRepair);
}

}  // namespace
}  // namespace orvik_test
