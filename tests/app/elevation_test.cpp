#include "app/core/elevation.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/core/on_exit_program.h"
#include "session/session_messages.h"
#include "tests/app/shell_fixture.h"

namespace orvik_test {
namespace {

using ZephPatch::BuildRelaunchArguments;
using ZephPatch::RelaunchElevated;
using Strings = std::vector<std::string>;

// True once `path` exists; the on-exit program is waited for at most one second, so a slow
// machine may still be running it when the call returns.
bool AppearsSoon(const std::string& path) {
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(path);
}

class ElevationTest : public ShellTest {
protected:
    ElevationTest() {
        m_state.executablePath = "/opt/installer/InstallPatchGUI";
        m_settings.installPath = "/opt/velmor/";
        // Rights fail for root too: the registry would lie below a regular file.
        WriteFile(m_folder / "file", "x");
    }

    // An elevation program that records its arguments, one per line, and exits with `code`.
    std::string FakeElevation(int code) {
        const std::string program = m_folder / "fake-pkexec";
        WriteFile(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                               (m_folder / "args.txt") + "\"\nexit " + std::to_string(code) + "\n");
        chmod(program.c_str(), 0755);
        return program;
    }
    void OnExitTouches(const std::string& marker) {
        m_state.onExitGiven = true;
        m_state.onExitCommand = "touch \"" + marker + "\"";
    }

    ScopedEnv m_noRights{"ORVIK_REGISTRY_ROOT", (m_folder / "file/registry").c_str()};
};

TEST_F(ElevationTest, ArgumentTextCarriesModeServersBuildAndFolder) {
    m_settings.patchServers = {"a", "b"};
    m_settings.installedBuilds = {"46957", "48249"};
    m_settings.repairMode = true;
    m_state.debugMode = true;
    m_state.onExitGiven = true;
    m_state.onExitCommand = "launcher";
    m_state.relaunchArguments = {"--log=/var/log/my patch.log"};
    EXPECT_EQ(BuildRelaunchArguments(m_state, m_settings),
              "--admin --repair --debug \"--log=/var/log/my patch.log\" --server=\"a;b\" 46957 "
              "\"/opt/velmor/\"");
    m_state.relaunchArguments.clear();

    m_settings = {};
    m_state.debugMode = false;
    EXPECT_EQ(BuildRelaunchArguments(m_state, m_settings), "--admin  \"\"");
}

// The elevation program clears the environment: the copy is started through env with what it
// needs (the display and its cookie, the registry, the temporary folder), then its arguments.
TEST_F(ElevationTest, CopyGetsTheEnvironmentAndTheSplitArgumentsThenOnExitRuns) {
#ifdef _WIN32
    GTEST_SKIP() << "the copy starts through runas here: elevation_windows_test";
#endif
    m_settings.patchServers = {"a", "b"};
    m_settings.installedBuilds = {"46957"};
    OnExitTouches(m_folder / "on exit ran");
    m_hooks.elevationProgram = FakeElevation(3);
    ScopedEnv display("DISPLAY", ":77");
    ScopedEnv cookie("XAUTHORITY", nullptr);
    ScopedEnv home("HOME", m_folder.Path().c_str());
    WriteFile(m_folder / ".Xauthority", "cookie");
    EXPECT_TRUE(RelaunchElevated(m_state, m_settings, m_hooks));
    const std::string args = ReadFile(m_folder / "args.txt");
    EXPECT_TRUE(args.substr(0, args.find('\n')).ends_with("/env")) << args;
    for (const std::string& passed :
         {std::string("DISPLAY=:77"), "XAUTHORITY=" + (m_folder / ".Xauthority"),
          "ORVIK_REGISTRY_ROOT=" + (m_folder / "file/registry"), "TEMP=" + (m_folder / "temp")})
        EXPECT_NE(args.find("\n" + passed + "\n"), std::string::npos) << passed << " in " << args;
    EXPECT_TRUE(args.ends_with(
        "\n/opt/installer/InstallPatchGUI\n--admin\n--server=a;b\n46957\n/opt/velmor/\n"))
        << args;
    EXPECT_EQ(m_state.elevatedExitCode, 3);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(AppearsSoon(m_folder / "on exit ran"));
}

TEST_F(ElevationTest, RefusedOrMissingElevationShowsTheRightsMessage) {
#ifdef _WIN32
    GTEST_SKIP() << "the copy starts through runas here: elevation_windows_test";
#endif
    const std::pair<std::string, std::string> rightsBox = {
        ZephPatch::LoadMessage(ZephPatch::kMsgRequiresAdminText),
        ZephPatch::LoadMessage(ZephPatch::kMsgRequiresAdminCaption)};
    for (const std::string& program :
         {FakeElevation(126), FakeElevation(127), m_folder / "no-such-program"}) {
        m_boxes.clear();
        std::filesystem::remove(m_folder / "on exit ran");
        OnExitTouches(m_folder / "on exit ran");
        m_hooks.elevationProgram = program;
        EXPECT_TRUE(RelaunchElevated(m_state, m_settings, m_hooks)) << program;
        EXPECT_EQ(m_boxes, (std::vector<std::pair<std::string, std::string>>{rightsBox}));
        EXPECT_EQ(m_state.elevatedExitCode, -1);
        EXPECT_TRUE(AppearsSoon(m_folder / "on exit ran")) << "on-exit runs after a refusal too";
    }
}

TEST_F(ElevationTest, NothingHappensWhenTheRightsSuffice) {
    ScopedEnv rights("ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str());
    m_settings.installPath = m_folder / "velmor";
    m_hooks.elevationProgram = FakeElevation(0);
    EXPECT_FALSE(RelaunchElevated(m_state, m_settings, m_hooks));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "args.txt"));
    EXPECT_TRUE(m_boxes.empty());
}

using OnExitProgramTest = ShellTest;

TEST_F(OnExitProgramTest, RunsTheQuotedCommandLine) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /bin/sh: elevation_windows_test runs a program";
#endif
    m_state.onExitGiven = true;
    m_state.onExitCommand = "/bin/sh -c \"echo ran > '" + (m_folder / "out file") + "'\"";
    ZephPatch::RunOnExitProgram(m_state);
    ASSERT_TRUE(AppearsSoon(m_folder / "out file"));
}

TEST_F(OnExitProgramTest, ReportsAProgramThatCannotStart) {
    m_state.onExitGiven = true;
    m_state.onExitCommand = "\"" + (m_folder / "no such program") + "\" --flag";
    ::testing::internal::CaptureStdout();
    ZephPatch::RunOnExitProgram(m_state);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error creating process, code: 2\n");

    m_state.onExitCommand = "";
    ::testing::internal::CaptureStdout();
    ZephPatch::RunOnExitProgram(m_state);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "an empty value runs nothing";
}

}  // namespace
}  // namespace orvik_test
