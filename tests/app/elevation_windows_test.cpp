// The elevated copy through the shell's "runas" verb and the on-exit program through
// CreateProcessW, both started for real: a recording program stands in for each.
#include <winsock2.h>  // before <windows.h>, which the fixture's headers take with it

#include <windows.h>

#include <filesystem>

#include "app/core/elevation.h"
#include "app/core/on_exit_program.h"
#include "tests/app/shell_fixture.h"

namespace orvik_test {
namespace {

class WindowsLaunchTest : public ShellTest {
protected:
    WindowsLaunchTest() { WriteFile(m_folder / "file", "x"); }

    static std::string Recorder() {
        return std::filesystem::path(ORVIK_TEST_PROGRAMS "/record_arguments.exe")
            .make_preferred()
            .string();
    }
    std::string Recorded() { return ReadFile(m_folder / "args.txt"); }

    ScopedEnv m_record{"RECORD_ARGUMENTS_TO", (m_folder / "args.txt").c_str()};
};

TEST_F(WindowsLaunchTest, RunasStartsTheCopyWithTheArgumentTextAndWaitsForIt) {
    ScopedEnv noRights("TEMP", (m_folder / "file/temp").c_str());  // a folder below a file
    ScopedEnv exitCode("RECORD_ARGUMENTS_EXIT", "3");
    m_state.executablePath = Recorder();
    m_settings.installPath = "C:\\Program Files\\Velmor";
    m_settings.patchServers = {"a", "b"};
    m_settings.installedBuilds = {"46957"};
    EXPECT_TRUE(ZephPatch::RelaunchElevated(m_state, m_settings, m_hooks));
    EXPECT_EQ(Recorded(), "--admin --server=\"a;b\" 46957 \"C:\\Program Files\\Velmor\"");
    EXPECT_EQ(m_state.elevatedExitCode, 3);
    EXPECT_TRUE(m_boxes.empty());

    m_state.executablePath = m_folder / "no such program.exe";
    EXPECT_TRUE(ZephPatch::RelaunchElevated(m_state, m_settings, m_hooks));
    EXPECT_EQ(m_boxes.size(), 1u) << "a copy that cannot start shows the rights message";
}

TEST_F(WindowsLaunchTest, OnExitRunsTheCommandLineAsWritten) {
    m_state.onExitGiven = true;
    m_state.onExitCommand = "\"" + Recorder() + "\" --flag \"two words\"";
    ZephPatch::RunOnExitProgram(m_state);
    for (int i = 0; i < 500 && Recorded().empty(); ++i)
        Sleep(10);
    EXPECT_EQ(Recorded(), "--flag \"two words\"");
}

}  // namespace
}  // namespace orvik_test
