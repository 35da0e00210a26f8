#include "session/embedded_patch_check.h"

#include "tests/package/container_test_support.h"
#include "tests/support/fake_utility.h"
#include "tests/support/recording_reporter.h"

namespace ZephPatch {
namespace {

using namespace ContainerTest;

const Bytes kArchive = {2, 0, 0, 0};

// An installation with the fixture utility listing 46957 and 48249, an installer carrying
// patches, and a host that records what the check asks of the front end.
class EmbeddedPatchCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_install + "bin");
        orvik_test::InstallFakeUtility(m_install + "bin/VelmorUtil.exe");
        WriteFile(m_install + "bin/builds.txt", "46957,48249,");
        m_host.chooseFile = [this](const std::string& title, const std::string& filter,
                                   std::string* file) {
            m_dialogs.push_back(title + "|" + filter);
            *file = m_chosen;
            return !m_chosen.empty();
        };
        m_host.enableChooseInstallation = [this] { m_chooseEnabled = true; };
        m_host.enableApplyUpdate = [this] { m_applyEnabled = true; };
        m_host.findInstallPath = [this] { return m_registry; };
        m_settings.targetBuild = "stale";
    }

    EmbeddedCheckResult Check(const std::vector<PatchRecord>& patches, bool askUser = false) {
        WriteBytes(m_exe, ContainerFile(5000, 8192, patches));
        return CheckEmbeddedPatches(m_container, m_settings, m_exe, askUser, m_host);
    }

    TestFolder m_folder;
    std::string m_install = m_folder.Path("velmor/");
    std::string m_exe = m_folder.Path("InstallPatch.exe");
    std::string m_registry = m_install;
    std::string m_chosen;
    EmbeddedPatchContainer m_container;
    PatchSettings m_settings;
    orvik_test::RecordingReporter m_reporter;
    EmbeddedCheckHost m_host{m_reporter};
    std::vector<std::string> m_dialogs;
    bool m_chooseEnabled = false, m_applyEnabled = false;
};

TEST_F(EmbeddedPatchCheckTest, InstalledBuildsWithPatchesBecomeTheWorkListInDirectoryOrder) {
    ASSERT_EQ(Check({{"48249", "50000", kArchive},
                     {"11111", "46957", kArchive},
                     {"46957", "48249", kArchive},
                     {"48249", "50001", kArchive}}),
              EmbeddedCheckResult::kReady);
    EXPECT_EQ(m_settings.installedBuilds, (std::vector<std::string>{"48249", "46957"}));
    EXPECT_TRUE(m_settings.localPatchesReady);
    EXPECT_FALSE(m_settings.repairMode);
    EXPECT_EQ(m_settings.targetBuild, "");
    EXPECT_TRUE(m_chooseEnabled && m_applyEnabled);
    EXPECT_TRUE(m_dialogs.empty());
    const std::vector<std::string> expected = {"0 Checking embedded patch: " + m_exe,
                                               "0 2 builds found {46957,48249,}",
                                               "0 4 patches embedded, 2 installed",
                                               "0 Found 2 applicable patches",
                                               "1 Ready to install from local patch file.",
                                               "1 Current version: 48249.",
                                               "1 "};
    EXPECT_EQ(m_reporter.Shown(), expected);
}

TEST_F(EmbeddedPatchCheckTest, NothingApplicableOrNoUsableContainer) {
    EXPECT_EQ(Check({{"40000", "46957", kArchive}}), EmbeddedCheckResult::kNotApplicable);
    EXPECT_EQ(m_reporter.Shown().back(),
              "3 This patch file is not applicable to your current installation version.");
    EXPECT_FALSE(m_settings.localPatchesReady);

    m_reporter.lines.clear();
    WriteBytes(m_exe, PatternBytes(20000, 1));
    EXPECT_EQ(CheckEmbeddedPatches(m_container, m_settings, m_exe, false, m_host),
              EmbeddedCheckResult::kNoContainer);
    EXPECT_EQ(m_reporter.Shown(), std::vector<std::string>{"0 Checking embedded patch: " + m_exe});

    Bytes extended = ContainerFile(5000, 8192, {{"46957", "48249", kArchive}});
    extended.push_back(0);
    WriteBytes(m_exe, extended);
    EXPECT_EQ(CheckEmbeddedPatches(m_container, m_settings, m_exe, false, m_host),
              EmbeddedCheckResult::kUnreadable);
    EXPECT_EQ(m_reporter.Shown().back(), "3 File error while reading patch data.");
}

TEST_F(EmbeddedPatchCheckTest, UnknownInstallationIsAskedForAndItsBinFolderMeansItsParent) {
    m_registry = "";
    m_chosen = m_install + "bin/Velmor.exe";
    ASSERT_EQ(Check({{"46957", "48249", kArchive}}), EmbeddedCheckResult::kReady);
    EXPECT_EQ(m_dialogs, std::vector<std::string>{"Locate Velmor.exe...|Velmor.exe"});
    EXPECT_EQ(m_settings.installPath, m_install);
    EXPECT_EQ(m_settings.installedBuilds, std::vector<std::string>{"46957"});
    EXPECT_EQ(m_reporter.Shown()[1],
              "3 Unable to determine Velmor installation path. Requesting user to specify "
              "installation location.\n");
}

TEST_F(EmbeddedPatchCheckTest, AskingUserIgnoresTheRegistryAndCancelStops) {
    EXPECT_EQ(Check({{"46957", "48249", kArchive}}, true), EmbeddedCheckResult::kNoInstallation);
    EXPECT_EQ(m_dialogs.size(), 1u);
    EXPECT_EQ(m_reporter.Shown().back(),
              "3 Unable to determine installation location. Aborted patching at user's request.");
    EXPECT_FALSE(m_settings.localPatchesReady);
}

TEST_F(EmbeddedPatchCheckTest, GivenFolderDecidesAndAChosenFolderIsTheInstallation) {
    const std::vector<PatchRecord> patches = {{"46957", "48249", kArchive}};
    // The folder given on the command line, not the registry's, is the one listed.
    m_registry = m_folder.Path("elsewhere/");
    m_settings.installPath = m_install;
    EXPECT_EQ(Check(patches), EmbeddedCheckResult::kReady);
    EXPECT_TRUE(m_dialogs.empty());
    // A given folder that holds no installation is said to be one, and nothing is asked.
    m_settings.installPath = m_folder.Path("");
    m_reporter.lines.clear();
    EXPECT_EQ(Check(patches), EmbeddedCheckResult::kNoInstallation);
    EXPECT_EQ(m_reporter.Shown().back(),
              "3 " + m_folder.Path("") +
                  " is not a Velmor installation (it has no bin/Velmor.exe or "
                  "bin/VelmorUtil.exe).");
    // Asked, the user may name the installation's folder (or its bin folder) instead of a file.
    m_chosen = m_install + "bin";
    EXPECT_EQ(Check(patches, true), EmbeddedCheckResult::kReady);
    EXPECT_EQ(m_settings.installPath, m_install);
}

TEST_F(EmbeddedPatchCheckTest, RepairAskedLeavesThePatchesAloneAndTheEndOfTheChainIsUpToDate) {
    m_settings.repairMode = true;
    EXPECT_EQ(Check({{"46957", "48249", kArchive}}), EmbeddedCheckResult::kRepairAsked);
    EXPECT_TRUE(m_reporter.lines.empty());
    EXPECT_TRUE(m_settings.repairMode);
    EXPECT_FALSE(m_settings.localPatchesReady);

    // Installed 46957 (listed first) is where the patches lead, and none starts there.
    m_settings.repairMode = false;
    std::string reached;
    m_host.upToDate = [&](const std::string& build) { reached = build; };
    EXPECT_EQ(Check({{"40000", "46957", kArchive}}), EmbeddedCheckResult::kUpToDate);
    EXPECT_EQ(reached, "46957");
    EXPECT_NE(m_reporter.Shown().back(),
              "3 This patch file is not applicable to your current installation "
              "version.");
}

TEST(InstallationOfChosenFileTest, FolderOfTheFileOrParentOfItsBinFolder) {
    EXPECT_EQ(InstallationOfChosenFile("/opt/velmor/bin/Velmor.exe"), "/opt/velmor/");
    EXPECT_EQ(InstallationOfChosenFile("/opt/velmor/Velmor.exe"), "/opt/velmor/");
    EXPECT_EQ(InstallationOfChosenFile("/opt/cabin/Velmor.exe"), "/opt/cabin/");
    EXPECT_EQ(InstallationOfChosenFile("/bin/Velmor.exe"), "/");
    EXPECT_EQ(InstallationOfChosenFile("bin/Velmor.exe"), "./");
}

}  // namespace
}  // namespace ZephPatch
