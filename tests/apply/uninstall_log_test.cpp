#include "apply/uninstall_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "applier_fixture.h"
#include "unins_log_helpers.h"

namespace ZephPatch {
namespace {

using ZephTest::ApplierTest;
using ZephTest::Message;

class UninstallLogTest : public ApplierTest {
protected:
    void SetUp() override {
        ApplierTest::SetUp();
        original =
            ZephTest::BuildLog({ZephTest::FillerRecord(3000, 1), ZephTest::EndInstallRecord(true)});
        ZephTest::WriteBytes(logPath, original);
    }

    std::vector<uint8_t> original;
    std::string logPath = install + "/unins000.dat";
};

TEST_F(UninstallLogTest, AddsOneRecordPerAddedFile) {
    ZephTest::WriteList(patch + "/addedFiles.txt",
                        {{"bin\\new.dll", "", ""}, {"maps\\caf\xC3\xA9.oa", "", ""}});
    ASSERT_TRUE(UpdateUninstallLog(install, patch, reporter));
    const auto log = ZephTest::ParseLogChecked(ZephTest::ReadBytes(logPath));
    ASSERT_EQ(log.records.size(), 4u);
    EXPECT_EQ(ZephTest::DeletedPath(log.records[1]),
              ZephTest::NativePath(install + "/bin/new.dll"));
    EXPECT_EQ(ZephTest::DeletedPath(log.records[2]),
              ZephTest::NativePath(install + "/maps/caf?.oa"))
        << "8-bit text: what has no 8-bit form becomes '?'";
    EXPECT_EQ(log.records[3], ZephTest::EndInstallRecord(true));
    EXPECT_FALSE(ZephTest::Exists(install + "/unins000_temp.dat"));
    EXPECT_TRUE(reporter.lines.empty());
}

TEST_F(UninstallLogTest, LeavesTheLogAloneWhenThereIsNothingToDo) {
    EXPECT_TRUE(UpdateUninstallLog(install, patch, reporter)) << "no added files";
    EXPECT_EQ(ZephTest::ReadBytes(logPath), original);

    std::filesystem::remove(patch + "/addedFiles.txt");
    EXPECT_TRUE(UpdateUninstallLog(install, patch, reporter));
    EXPECT_EQ(ZephTest::ReadBytes(logPath), original);
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{3, "Could not open: " + patch +
                                            "/addedFiles.txt for reading. The file might not be "
                                            "present"}}));

    ZephTest::WriteList(patch + "/addedFiles.txt", {{"a.txt", "", ""}});
    std::filesystem::remove(logPath);
    EXPECT_TRUE(UpdateUninstallLog(install, patch, reporter)) << "no log";
    EXPECT_FALSE(ZephTest::Exists(logPath));
}

TEST_F(UninstallLogTest, AnUnrecognisedLogIsLeftUnchanged) {
    ZephTest::WriteList(patch + "/addedFiles.txt", {{"a.txt", "", ""}});
    auto damaged = original;
    damaged[600] ^= 0x40;
    ZephTest::WriteBytes(logPath, damaged);
    EXPECT_TRUE(UpdateUninstallLog(install, patch, reporter));
    EXPECT_EQ(ZephTest::ReadBytes(logPath), damaged);
    EXPECT_EQ(reporter.lines,
              (std::vector<Message>{{2,
                                     "The uninstall log was left unchanged because its layout "
                                     "was not recognised: " +
                                         logPath}}));
}

TEST_F(UninstallLogTest, FailsWithoutTouchingTheLogWhenTheNewOneCannotBeWritten) {
    ZephTest::WriteList(patch + "/addedFiles.txt", {{"a.txt", "", ""}});
    std::filesystem::create_directories(install + "/unins000_temp.dat/in-the-way");
    EXPECT_FALSE(UpdateUninstallLog(install, patch, reporter));
    EXPECT_EQ(ZephTest::ReadBytes(logPath), original);
}

}  // namespace
}  // namespace ZephPatch
