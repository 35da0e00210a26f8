#include "app/core/startup.h"

#include <filesystem>

#include "kernel/registry/registry.h"
#include "session/session_messages.h"
#include "tests/app/shell_fixture.h"

#ifdef _WIN32
#include <windows.h>  // after the headers that bring winsock2.h
#endif

namespace orvik_test {
namespace {

using ZephPatch::ChooseRunMode;
using ZephPatch::RunMode;
using ZephPatch::RunShellStartup;
using Strings = std::vector<std::string>;

#ifdef _WIN32
constexpr char kInstallation[] = "C:\\Games\\Velmor\\";
#else
constexpr char kInstallation[] = "/opt/velmor/";
#endif

// This test program's own path, as the system gives it.
std::filesystem::path ThisProgram() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
#else
    return std::filesystem::canonical("/proc/self/exe");
#endif
}

class StartupTest : public ShellTest {
protected:
    StartupTest() : m_startFolder(std::filesystem::current_path()) {
        std::filesystem::current_path(m_folder.Path());
    }
    ~StartupTest() override { std::filesystem::current_path(m_startFolder); }

    bool Start(std::vector<const char*> argv) {
        argv.insert(argv.begin(), "InstallPatchGUI");
        auto settings =
            RunShellStartup(static_cast<int>(argv.size()), argv.data(), &m_state, m_hooks);
        if (settings)
            m_settings = std::move(*settings);
        return settings.has_value();
    }

    std::filesystem::path m_startFolder;
};

TEST_F(StartupTest, ParsesRepairsResolvesAndMovesToTheProgramFolder) {
    ASSERT_TRUE(Start({"--admin", "--server=a;b", "46957", "velmor\\\""}));
    EXPECT_EQ(std::filesystem::path(m_settings.installPath),
              std::filesystem::path(m_folder / "velmor\\"))
        << "repaired, then made absolute against the starting folder";
    EXPECT_EQ(m_settings.installedBuilds, Strings{"46957"});
    EXPECT_EQ(m_settings.patchServers, (Strings{"a", "b"}));
    const std::filesystem::path program = ThisProgram();
    EXPECT_EQ(std::filesystem::path(m_state.executablePath), program);
    EXPECT_TRUE(
        std::filesystem::equivalent(std::filesystem::current_path(), program.parent_path()));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(StartupTest, InstallationComesFromTheRegistryWhenNotGiven) {
    ZephUtil::RegistryKey key;
    ASSERT_TRUE(key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator\\Velmor",
                           ZephUtil::RegAccess::kWrite));
    ASSERT_TRUE(key.SetString("ProductClass", "Velmor"));
    ASSERT_TRUE(key.SetString("ProductInstallPath", kInstallation));
    ASSERT_TRUE(Start({"--admin", "--server=ignored"}));
    EXPECT_EQ(m_settings.installPath, kInstallation);
    EXPECT_TRUE(m_settings.patchServers.empty()) << "no parameter: server ignored";
    EXPECT_EQ(ChooseRunMode(m_settings), RunMode::kNone);
}

#ifndef _WIN32
// The Linux registry is a tree of folders: one under a file cannot be written.
TEST_F(StartupTest, AdminWithoutRightsShowsTheMessageAndEnds) {
    WriteFile(m_folder / "file", "x");
    ScopedEnv noRights("ORVIK_REGISTRY_ROOT", (m_folder / "file/registry").c_str());
    m_hooks.elevationProgram = m_folder / "must-not-run";
    EXPECT_FALSE(Start({"--admin", "/opt/velmor"}));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].second, ZephPatch::LoadMessage(ZephPatch::kMsgRequiresAdminCaption));
}
#endif

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
