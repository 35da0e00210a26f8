// A patch session in repair mode: the repair driver behind the session's checks, its lines and
// gauge through the session's front end, and the interrupted-patch mark.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "kernel/buffers/block_io.h"
#include "kernel/messages/message_catalogue.h"
#include "kernel/registry/registry.h"
#include "session/patch_settings.h"
#include "session/patch_thread.h"
#include "session/product_registry.h"
#include "tests/repair/repair_test_support.h"
#include "tests/support/fake_utility.h"
#include "tests/support/test_folder.h"

namespace ZephPatch {
namespace {

namespace fs = std::filesystem;

class RecordingFrontEnd : public SessionFrontEnd {
public:
    void SetGaugeRange(int range) override { gauge.push_back("range " + std::to_string(range)); }
    void SetGaugeValue(int value) override { gauge.push_back(std::to_string(value)); }
    void Report(ReportLevel level, const std::string& utf8) override {
        lines.push_back(std::to_string(static_cast<int>(level)) + " " + utf8);
    }
    bool ShouldContinue() override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessageBox(const std::string&, const std::string&) override {}
    bool ChooseFile(const std::string&, const std::string&, std::string*) override { return false; }
    void EnableApplyUpdate() override {}
    void ShowInstallPath(const std::string&) override {}
    void PatchInstalled() override {}
    void SessionFinished() override {}

    std::vector<std::string> lines;
    std::vector<std::string> gauge;
};

// An installation with the fixture utility, marked as interrupted by an earlier patch.
class RepairSessionTest : public ::testing::Test {
protected:
    RepairSessionTest() {
        SetMessageLanguage(LANGUAGE_ENGLISH);
        fs::create_directories(m_install + "/UserData");
        orvik_test::WriteFile(m_install + "/data/a.txt", "route data");
        fs::create_directories(m_install + "/bin");
        orvik_test::InstallFakeUtility(m_install + "/bin/VelmorUtil.exe");
        fs::create_directories(m_folder / "temp");
        m_settings.installPath = m_install;
        m_settings.repairMode = true;
        EXPECT_TRUE(m_product.Create(PATCHING_FLAG_KEY, ZephUtil::RegAccess::kWrite));
        EXPECT_TRUE(m_product.SetDword(PATCHING_FLAG_VALUE, 1));
    }
    ~RepairSessionTest() override { SetMessageLanguage(LANGUAGE_NEUTRAL); }

    void RunSession(const std::string& server) {
        ASSERT_TRUE(m_product.SetString("RepairServer", server));
        PatchThread session(m_frontEnd, m_settings, m_container, m_database);
        session.Entry();
        m_completed = session.Completed();
    }

    bool Shown(const std::string& line) const {
        return std::find(m_frontEnd.lines.begin(), m_frontEnd.lines.end(), line) !=
               m_frontEnd.lines.end();
    }
    bool StillMarked() const {
        uint32_t value = 0;
        return m_product.QueryDword(PATCHING_FLAG_VALUE, &value) && value == 1;
    }

    orvik_test::TestFolder m_folder;
    std::string m_install = m_folder / "install";
    orvik_test::ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str()};
    orvik_test::ScopedEnv m_temp{"TEMP", (m_folder / "temp").c_str()};
    ZephUtil::RegistryKey m_product;
    PatchSettings m_settings;
    EmbeddedPatchContainer m_container;
    AssetDatabaseAttachment m_database;
    RecordingFrontEnd m_frontEnd;
    bool m_completed = false;
};

TEST_F(RepairSessionTest, WholeInstallationCompletesAndLosesTheInterruptedMark) {
    std::vector<std::string> sent;
    RepairTest::ScriptedServer server([&](ZephUtil::ZephDataBufferTCP& peer) {
        uint32_t version = 0;
        // A scripted peer: the client under test decides how far it gets.
        (void)ZephUtil::ReadUint32(peer, &version);
        (void)ZephUtil::WriteUint32(peer, kAgentProtocolVersion);
        FileTreeSummary summary;
        (void)summary.Load(peer);
        for (const auto& [key, entry] : summary.Snapshot())
            sent.push_back(key);
        (void)ZephUtil::WriteUint32(peer, 0);  // nothing differs
    });
    RunSession("127.0.0.1:" + std::to_string(server.Endpoint().port));

    EXPECT_TRUE(m_completed);
    EXPECT_TRUE(Shown("1 (0 / 0 segments updated.)"));
    EXPECT_EQ(m_frontEnd.lines.back(), "1 Patching completed.");
    EXPECT_FALSE(StillMarked());
    // The gauge follows the repair once it receives (how often depends on when the driver
    // looks) and ends full.
    ASSERT_FALSE(m_frontEnd.gauge.empty());
    EXPECT_EQ(m_frontEnd.gauge.front(), "range 1000");
    EXPECT_EQ(m_frontEnd.gauge.back(), "1000");
    EXPECT_NE(std::find(sent.begin(), sent.end(), "data\\a.txt#000"), sent.end());
    // No room to unpack is needed, and no patch was applied for the database to take in.
    EXPECT_FALSE(Shown("1 " + LoadMessage(241)));
    EXPECT_FALSE(fs::exists(m_install + "/bin/VelmorUtil.log"));
}

TEST_F(RepairSessionTest, ServerThatCannotBeFoundAbortsAndKeepsTheMark) {
    RunSession("repair.invalid");
    EXPECT_FALSE(m_completed);
    EXPECT_EQ(m_frontEnd.lines,
              (std::vector<std::string>{
                  "3 Unable to contact repair server; check your network connection.",
                  "1 Patching aborted."}));
    EXPECT_TRUE(StillMarked());
    EXPECT_TRUE(m_frontEnd.gauge.empty());
    EXPECT_FALSE(fs::exists(m_install + "/repair.cks"));
}

}  // namespace
}  // namespace ZephPatch
