#include "session/patch_thread.h"

#include "kernel/messages/message_catalogue.h"
#include "session/build_list.h"
#include "session/patch_settings.h"
#include "session/session_messages.h"
#include "session/temp_names.h"
#include "tests/package/container_test_support.h"
#include "tests/support/fake_utility.h"
#include "tests/support/test_folder.h"

namespace ZephPatch {
namespace {

using namespace ContainerTest;

// Records what the session shows, one "level text" entry per line.
class RecordingFrontEnd : public SessionFrontEnd {
public:
    void SetGaugeRange(int) override {}
    void SetGaugeValue(int) override {}
    void Report(ReportLevel level, const std::string& utf8) override {
        lines.push_back(std::to_string(static_cast<int>(level)) + " " + utf8);
    }
    bool ShouldContinue() override { return !cancelled; }
    void StartApplying(int total) override { totals.push_back(total); }
    void EntryBegun() override { cancelled = cancelled || cancelOnEntry; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        boxes.push_back(caption + "|" + text);
    }
    bool ChooseFile(const std::string&, const std::string&, std::string*) override { return false; }
    void EnableApplyUpdate() override {}
    void ShowInstallPath(const std::string&) override {}
    void PatchInstalled() override { ++installed; }
    void SessionFinished() override {}

    std::vector<std::string> lines;
    std::vector<std::string> boxes;
    std::vector<int> totals;
    int installed = 0;
    bool cancelOnEntry = false;
    bool cancelled = false;
};

// A patch that changes nothing: three empty lists.
Bytes EmptyPatch() {
    return ArchiveBytes(2)
        .File(".\\addedFiles.txt", {})
        .File(".\\deletedFiles.txt", {})
        .File(".\\patchedFiles.txt", {})
        .Get();
}

// An installation with the fixture utility and an asset database folder, its own registry
// and temporary folder, and an installer carrying patches.
class PatchThreadTest : public ::testing::Test {
protected:
    PatchThreadTest() {
        SetMessageLanguage(LANGUAGE_ENGLISH);
        fs::create_directories(m_install + "/bin");
        fs::create_directories(m_install + "/UserData");
        fs::create_directories(m_folder.Path("temp"));
        orvik_test::InstallFakeUtility(m_install + "/bin/VelmorUtil.exe");
        WriteFile(m_install + "/bin/VelmorUtil.cfg", "lines=1\ninterval=0\n");
        m_settings.installPath = m_install;
        m_environment.sleep = [](uint32_t) {};
    }
    ~PatchThreadTest() override { SetMessageLanguage(LANGUAGE_NEUTRAL); }

    void Carry(const std::vector<PatchRecord>& patches, std::vector<std::string> installed) {
        WriteBytes(m_exe, ContainerFile(100, 4096, patches));
        ASSERT_EQ(m_container.OpenContainer(m_exe), kContainerOpened);
        m_settings.installedBuilds = std::move(installed);
        m_settings.localPatchesReady = true;
    }

    void RunSession() {
        PatchThread session(m_frontEnd, m_settings, m_container, m_database, m_environment);
        session.Entry();
        m_completed = session.Completed();
    }

    bool Shown(const std::string& line) const {
        return std::find(m_frontEnd.lines.begin(), m_frontEnd.lines.end(), line) !=
               m_frontEnd.lines.end();
    }

    TestFolder m_folder;
    std::string m_install = m_folder.Path("install");
    std::string m_exe = m_folder.Path("installer");
    orvik_test::ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", m_folder.Path("registry").c_str()};
    orvik_test::ScopedEnv m_temp{"TEMP", m_folder.Path("temp").c_str()};
    PatchSettings m_settings;
    EmbeddedPatchContainer m_container;
    AssetDatabaseAttachment m_database;
    RecordingFrontEnd m_frontEnd;
    SessionEnvironment m_environment;
    bool m_completed = false;
};

TEST_F(PatchThreadTest, OperatingSystemChecksRefuseBeforeAnythingChanges) {
    m_environment.os = {5, 1, 2, true};  // Windows XP, service pack 2
    RunSession();
    EXPECT_TRUE(Shown("3 " + LoadMessage(244)));
    EXPECT_EQ(m_frontEnd.lines.back(), "1 Patching aborted.");

    m_frontEnd.lines.clear();
    m_environment.os = {5, 1, 3, false};  // service pack 3, but no DirectX
    RunSession();
    EXPECT_FALSE(Shown("3 " + LoadMessage(244)));
    EXPECT_TRUE(Shown("3 " + LoadMessage(255)));
    EXPECT_FALSE(m_completed);
    // Neither check ran the utility: nothing was asked of the installation.
    EXPECT_FALSE(fs::exists(m_install + "/bin/VelmorUtil.log"));
}

TEST_F(PatchThreadTest, RightsFailureShowsTheAdministratorBox) {
#ifdef _WIN32
    GTEST_SKIP() << "a registry root that cannot be written is one of the Linux mapping's folders";
#endif
    // A registry root below a plain file can never be written.
    WriteFile(m_folder.Path("not-a-folder"), "");
    orvik_test::ScopedEnv registry("ORVIK_REGISTRY_ROOT",
                                   m_folder.Path("not-a-folder/registry").c_str());
    RunSession();
    EXPECT_TRUE(Shown("3 " + LoadMessage(kMsgPatchingNeedsAdmin)));
    ASSERT_EQ(m_frontEnd.boxes.size(), 1u);
    EXPECT_EQ(m_frontEnd.boxes[0],
              LoadMessage(kMsgRequiresAdminCaption) + "|" + LoadMessage(kMsgRequiresAdminText));
    EXPECT_EQ(m_frontEnd.lines.back(), "1 Patching aborted.");
}

// A wrong folder is named as such, not taken for files in use, and its outcome tells it.
TEST_F(PatchThreadTest, FolderThatIsNoInstallationIsSaidToBeOne) {
    m_settings.installPath = m_folder.Path("missing");
    PatchThread session(m_frontEnd, m_settings, m_container, m_database, m_environment);
    session.Entry();
    EXPECT_TRUE(Shown("3 The folder " + m_folder.Path("missing") + " does not exist."));
    EXPECT_EQ(session.Outcome(), SessionOutcome::kNotInstallation);
    EXPECT_TRUE(m_frontEnd.boxes.empty()) << "no files-in-use box";
    EXPECT_EQ(m_frontEnd.lines.back(), "1 Patching aborted.");
}

TEST_F(PatchThreadTest, TooLittleSpaceNamesTheRequirement) {
    Carry({{"46957", "48249", EmptyPatch()}}, {"46957"});
    m_environment.requiredMegabytes = 4000000000u;  // 4 PB: no test machine has that
    RunSession();
    EXPECT_TRUE(
        Shown("3 Insufficient disk space available for patching. Please ensure that at least "
              "4000000000MB are available."));
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_EQ(CurrentBuild(m_settings), "46957");
}

TEST_F(PatchThreadTest, BuildWithoutPatchIsDroppedAndTheNextLookedUp) {
    Carry({{"46957", "48249", EmptyPatch()}}, {"11111", "46957"});
    RunSession();
    EXPECT_TRUE(m_completed);
    EXPECT_TRUE(Shown("1 Patching from 46957 to 48249...\n"));
    EXPECT_EQ(m_frontEnd.installed, 1);
    // 48249 has no patch either, so the work list ends empty.
    EXPECT_TRUE(m_settings.installedBuilds.empty());
    EXPECT_TRUE(m_settings.targetBuild.empty());
    // The copied-out archive and the unpack folder are gone.
    EXPECT_TRUE(fs::is_empty(m_folder.Path("temp")));
}

TEST_F(PatchThreadTest, PatchesLeadingBackDoNotLoopForever) {
    Carry({{"46957", "48249", EmptyPatch()}, {"48249", "46957", EmptyPatch()}}, {"46957"});
    RunSession();
    EXPECT_TRUE(m_completed);
    EXPECT_EQ(m_frontEnd.installed, 2);
    EXPECT_TRUE(Shown("1 There are no more patches for this build."));
}

TEST_F(PatchThreadTest, DamagedArchiveAbortsWithoutApplying) {
    const Bytes whole = EmptyPatch();
    const Bytes damaged(whole.begin(), whole.end() - 5);  // the last record cut short
    Carry({{"46957", "48249", damaged}}, {"46957"});
    RunSession();
    EXPECT_TRUE(Shown("3 Failed to extract the patch archive."));
    EXPECT_EQ(m_frontEnd.lines.back(), "1 Patching aborted.");
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_TRUE(fs::is_empty(m_folder.Path("temp")));
}

// The user's cancel reaches the applier through the worker: its first entry is refused and
// nothing is added.
TEST_F(PatchThreadTest, CancelWhileApplyingRollsThePatchBack) {
    const std::string list = "new.txt\r\n\r\n\r\n";
    const Bytes patch = ArchiveBytes(2)
                            .File(".\\addedFiles.txt", Bytes(list.begin(), list.end()))
                            .File(".\\deletedFiles.txt", {})
                            .File(".\\patchedFiles.txt", {})
                            .Folder(".\\data")
                            .File(".\\data\\new.txt", {'n'})
                            .Get();
    Carry({{"46957", "48249", patch}}, {"46957"});
    m_frontEnd.cancelOnEntry = true;
    RunSession();
    EXPECT_EQ(m_frontEnd.totals, std::vector<int>{1});
    EXPECT_FALSE(fs::exists(m_install + "/new.txt"));
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_EQ(m_frontEnd.lines.back(), "1 Patching aborted.");
}

TEST(TempNames, UniqueFoldersInsideTheGivenOne) {
    TestFolder folder;
    std::string first = folder.Path(), second = folder.Path();
    ASSERT_TRUE(MakeUniqueTempDir(&first));
    ASSERT_TRUE(MakeUniqueTempDir(&second));
    EXPECT_NE(first, second);
    EXPECT_EQ(fs::path(first).parent_path(), fs::path(folder.Path()));
    EXPECT_TRUE(fs::is_directory(first));
    // Below a plain file nothing can be made: the text falls back to the temporary folder.
    WriteFile(folder.Path("file"), "");
    std::string blocked = folder.Path("file");
    orvik_test::ScopedEnv temp("TEMP", folder.Path().c_str());
    EXPECT_FALSE(MakeUniqueTempDir(&blocked));
    EXPECT_EQ(blocked, folder.Path());
}

}  // namespace
}  // namespace ZephPatch
