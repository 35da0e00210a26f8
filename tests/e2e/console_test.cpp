// The console installer as a user and a script meet it: help and version, each line once on a
// terminal and the diagnostics only in the session log, the folder given deciding what is
// patched, and the exit statuses.
#include <sys/stat.h>

#include <filesystem>

#include "tests/e2e/cli_session.h"
#include "tests/repair/repair_server_process.h"

namespace orvik_test {
namespace {

namespace fs = std::filesystem;

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(CliSession, HelpAndVersionTouchNothing) {
    for (const char* help : {"--help", "-h"}) {
        const CliRun run = Run({help, Sample("install")});
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_FALSE(run.lines.empty());
        EXPECT_TRUE(run.lines.front().starts_with("Usage: InstallPatchCLI ")) << run.lines[0];
        EXPECT_TRUE(Contains(run.lines,
                             "  3    no patch or repair server could be used, or a "
                             "download failed"));
    }
    const CliRun version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    ASSERT_EQ(version.lines.size(), 1u);
    EXPECT_TRUE(version.lines[0].starts_with("InstallPatchCLI 1.")) << version.lines[0];
    // Not even the product's utility ran.
    EXPECT_FALSE(fs::exists(Sample("install/bin/VelmorUtil.log")));
    EXPECT_TRUE(InstallationIs("46957"));
}

TEST_F(CliSession, OnATerminalLinesShowOnceAndDiagnosticsOnlyInTheLog) {
    const std::string log = m_folder / "session.log";
    const CliRun run = RunOnTerminal({"--log=" + log});
    EXPECT_EQ(run.exitCode, 0) << run.raw;
    EXPECT_EQ(Occurrences(run.raw, "Patching completed."), 1u) << run.raw;
    // The progress line followed the applier's files to the end, and went again.
    EXPECT_NE(run.raw.find("100%"), std::string::npos);
    EXPECT_NE(run.raw.find(" files"), std::string::npos);
    EXPECT_EQ(run.raw.find("VelmorUtil ended with exit code"), std::string::npos) << run.raw;
    EXPECT_TRUE(run.raw.ends_with("Session log: " + log + "\r\n")) << run.raw;
    const std::string logged = ReadFile(log);
    EXPECT_TRUE(logged.starts_with("=== InstallPatchCLI 1.")) << logged;
    EXPECT_NE(logged.find("\nPatching completed.\n"), std::string::npos);
    EXPECT_NE(logged.find("VADRepairThread> VelmorUtil ended with exit code 0"), std::string::npos);
    EXPECT_TRUE(InstallationIs("50001"));

    // An error line once, although standard output and error are both the terminal.
    const CliRun wrong = RunOnTerminal({m_folder / "nowhere"});
    EXPECT_EQ(wrong.exitCode, 4);
    EXPECT_EQ(Occurrences(wrong.raw, "The folder " + (m_folder / "nowhere") + " does not exist."),
              1u)
        << wrong.raw;
}

// The registry names an installation at another build: the folder given is the one whose
// builds decide the patches, and the one patched.
TEST_F(CliSession, FolderGivenDecidesWhatIsPatched) {
    const std::string other = m_folder / "other";
    fs::copy(Sample("install"), other, fs::copy_options::recursive);
    WriteFile(other + "/bin/builds.txt", "48249,");
    WriteFile(Sample("registry/SOFTWARE/Orvik/Products/VelmorSimulator/Velmor/@ProductInstallPath"),
              "REG_SZ\n" + other + "/\n");
    const CliRun run = Run({Sample("install")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(InOrder(run.lines, {"Current version: 46957.", "Patching from 46957 to 48249...",
                                    "Patching from 48249 to 50001...", "Patching completed."}));
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_FALSE(fs::exists(other + "/bin/VelmorUtil.log")) << "the other one was not asked";
}

// --repair is done although the installer carries patches for the installation, from the
// server the command line names; a program the repair had to recreate can run again.
TEST_F(CliSession, RepairAskedIsDoneFromTheServerGiven) {
    RepairTest::RepairServerProcess server(Sample("trees/50001"));
    fs::remove(Sample("install/bin/VelmorUtil.exe"));
    const CliRun run = Run({"--repair", "--repair-server=" + server.Address()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(Contains(run.lines, "Ready to install from local patch file."));
    EXPECT_TRUE(Contains(run.lines, "Receiving updated files."));
    EXPECT_TRUE(InstallationIs("50001"));
    struct stat status {};
    ASSERT_EQ(stat(Sample("install/bin/VelmorUtil.exe").c_str(), &status), 0);
    EXPECT_TRUE(status.st_mode & S_IXUSR);

    // Nobody listens there any more: a network failure, and the line says which server.
    server.Kill();
    const CliRun unreachable = Run({"--repair", "--repair-server=" + server.Address()});
    EXPECT_EQ(unreachable.exitCode, 3);
    EXPECT_TRUE(Contains(unreachable.lines,
                         "Hint: check that the repair server " + server.Address() +
                             " is reachable from here (--repair-server=HOST[:PORT] or the "
                             "registry value \"RepairServer\" name another). Run again with "
                             "--debug (or --log=FILE) for the details."));
}

}  // namespace
}  // namespace orvik_test
