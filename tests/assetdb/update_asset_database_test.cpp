#include <gtest/gtest.h>

#include "assetdb/asset_database.h"
#include "assetdb/asset_database_steps.h"
#include "assetdb/messages.h"
#include "test_support.h"

namespace ZephPatch {
namespace {

using Testing::PeerProgram;
using Testing::RecordingSink;
using Testing::TempInstallation;

void ExpectGaugeFull(const RecordingSink& sink) {
    const std::vector<int> ranges = sink.Ranges();
    const std::vector<int> values = sink.Values();
    ASSERT_FALSE(ranges.empty());
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(ranges.back(), 1);
    EXPECT_EQ(values.back(), 1);
}

// Everything reported after the opening line, which must be the step's own.
std::string UtilityText(const RecordingSink& sink, int level) {
    const auto reports = sink.Reports();
    EXPECT_FALSE(reports.empty());
    if (reports.empty())
        return "";
    EXPECT_EQ(reports[0].number, 1);
    EXPECT_EQ(reports[0].text, kMsgUpdatingAssetDatabase);
    std::string text;
    for (size_t i = 1; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].number, level) << reports[i].text;
        text += reports[i].text;
    }
    return text;
}

TEST(UpdateAssetDatabase, ReportsAllTheUtilityWritesAndEndsFull) {
    TempInstallation install;
    install.InstallUtility("lines=4\ninterval=0.1\n");
    RecordingSink sink;
    UpdateAssetDatabase(install.database, install.Root(), sink);

    EXPECT_EQ(UtilityText(sink, 1),
              "Repairing assets: 25%\nRepairing assets: 50%\nRepairing assets: 75%\n"
              "Repairing assets: 100%\nAsset database repaired.\n");
    EXPECT_EQ(install.UtilityRuns(), (std::vector<std::string>{"repairdatabase patcher"}));
    EXPECT_EQ(sink.Ranges().front(), 1201000);
    ExpectGaugeFull(sink);
}

TEST(UpdateAssetDatabase, ReleasesTheDatabaseForTheUtility) {
    TempInstallation install;
    install.InstallUtility("repair=attach\npeer=" + PeerProgram() + "\n");
    ASSERT_TRUE(CloseAssetDaemon(install.database, install.Root()));
    RecordingSink sink;
    UpdateAssetDatabase(install.database, install.Root(), sink);

    EXPECT_EQ(UtilityText(sink, 1), "VelmorUtil: attach 1; count 1\n");
    EXPECT_EQ(install.database.AttachedRecord(), nullptr);
}

TEST(UpdateAssetDatabase, CancelEndsTheUtilityWithExitCodeOne) {
    TempInstallation install;
    install.InstallUtility("repair=hang\n");
    RecordingSink sink("Repairing assets: 0%");
    testing::internal::CaptureStdout();
    UpdateAssetDatabase(install.database, install.Root(), sink);
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_NE(log.find("VADRepairThread> VelmorUtil ended with exit code 1"), std::string::npos)
        << log;
    EXPECT_EQ(UtilityText(sink, 1), "Repairing assets: 0%\n");
    ExpectGaugeFull(sink);
}

TEST(UpdateAssetDatabase, WhatAFailingUtilitySaysReachesTheUser) {
    TempInstallation install;
    install.InstallUtility("repair=fail\n");
    RecordingSink sink;
    testing::internal::CaptureStdout();
    UpdateAssetDatabase(install.database, install.Root(), sink);
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(UtilityText(sink, 1), "VelmorUtil: the asset database cannot be repaired\n");
    EXPECT_NE(log.find("VADRepairThread> VelmorUtil ended with exit code 3"), std::string::npos)
        << log;
    ExpectGaugeFull(sink);
}

TEST(UpdateAssetDatabase, MissingUtilityIsReportedAsAnError) {
    TempInstallation install;
    RecordingSink sink;
    UpdateAssetDatabase(install.database, install.Root(), sink);

    const auto reports = sink.Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].number, 3);
    EXPECT_EQ(reports[1].text, kMsgRepairLaunchFailed);
    ExpectGaugeFull(sink);
}

}  // namespace
}  // namespace ZephPatch
