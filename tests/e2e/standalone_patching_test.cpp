// The installer applying the patches it carries, as a user runs it from a console.
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/cli_session.h"

namespace orvik_test {
namespace {

constexpr char kCompleted[] = "Patching completed.";
constexpr char kAborted[] = "Patching aborted.";

bool TempFolderEmpty(const std::string& folder) {
    return std::filesystem::is_empty(folder);
}

TEST_F(CliSession, TwoPatchChainReachesTheFinalBuild) {
    const CliRun run = Run();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(InOrder(run.lines, {
                                       "Ready to install from local patch file.",
                                       "Current version: 46957.",
                                       "Checking for available disk space for patching.",
                                       "Unpacking patch file...",
                                       "Patching from 46957 to 48249...",
                                       "Unpacking patch file...",
                                       "Patching from 48249 to 50001...",
                                       "There are no more patches for this build.",
                                       "Updating Velmor asset database... (this may take "
                                       "several minutes)",
                                       "Asset database repaired.",
                                       kCompleted,
                                   }));
    EXPECT_TRUE(InstallationIs("50001"));
    // The patch-in-progress mark is gone and no temporary file or folder is left.
    EXPECT_FALSE(std::filesystem::exists(
        Sample("registry/Software/Orvik/Products/VelmorSimulator/@IsPatching")));
    EXPECT_TRUE(TempFolderEmpty(Sample("temp")));
    // Run again, the installer finds the installation at the end of its chain: success.
    const CliRun again = Run();
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.lines, std::vector<std::string>{"Velmor is up to date: build 50001 is the "
                                                    "newest this installer carries."});
}

TEST_F(CliSession, ContainerForOtherBuildsIsNotApplicable) {
    WriteFile(Sample("install/bin/builds.txt"), "12345,");
    const CliRun run = Run();
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(InOrder(run.lines, {"This patch file is not applicable to your current "
                                    "installation version.",
                                    "No valid patch operation was specified. Patching aborted."}));
    WriteFile(Sample("install/bin/builds.txt"), "46957,");
    EXPECT_TRUE(InstallationIs("46957"));
}

TEST_F(CliSession, InterruptBetweenPatchesKeepsTheFirst) {
    int unpacks = 0;
    const CliRun run = Run({}, [&](const std::string& line, pid_t pid) {
        if (line == "Unpacking patch file..." && ++unpacks == 2)
            kill(pid, SIGINT);
    });
    EXPECT_EQ(run.exitCode, 130);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_TRUE(Contains(run.lines, kAborted));
    EXPECT_FALSE(Contains(run.lines, kCompleted));
    EXPECT_FALSE(Contains(run.lines, "There are no more patches for this build."));
    EXPECT_TRUE(InstallationIs("48249"));
    EXPECT_TRUE(TempFolderEmpty(Sample("temp")));
}

TEST_F(CliSession, ExtendedInstallerFailsTheSizeTest) {
    std::ofstream(Sample("InstallPatchCLI"), std::ios::app) << "tail";
    const CliRun run = Run();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(InOrder(run.lines, {"File error while reading patch data.",
                                    "No valid patch operation was specified. Patching aborted."}));
    EXPECT_TRUE(InstallationIs("46957"));
}

// Overwrites the middle of the second archive inside the installer, keeping every length.
void DamageSecondArchive(const std::string& installer, const std::string& archive) {
    const auto installerSize = std::filesystem::file_size(installer);
    const auto archiveSize = std::filesystem::file_size(archive);
    // The second archive is the last before the 160-byte directory.
    const auto archiveStart = installerSize - 160 - archiveSize;
    std::fstream file(installer, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(archiveStart + archiveSize / 2));
    file << std::string(64, '\x5a');
}

TEST_F(CliSession, DamagedArchiveStopsAfterTheFirstPatch) {
    DamageSecondArchive(Sample("InstallPatchCLI"), Sample("48249_to_50001.zpa"));
    const CliRun run = Run();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(InOrder(run.lines, {"Patching from 46957 to 48249...",
                                    "Failed to extract the patch archive.", kAborted}));
    EXPECT_TRUE(InstallationIs("48249"));
    EXPECT_TRUE(TempFolderEmpty(Sample("temp")));
}

TEST_F(CliSession, UnknownOptionIsAUsageError) {
    const CliRun run = Run({"--bogus"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(InstallationIs("46957"));
}

}  // namespace
}  // namespace orvik_test
