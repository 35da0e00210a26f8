#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "assetdb/asset_database.h"
#include "assetdb/asset_database_steps.h"
#include "test_support.h"

namespace ZephPatch {
namespace {

using Testing::Peer;
using Testing::TempInstallation;

struct PauseLog {
    std::vector<uint32_t> pauses;
    SleepFunction Function() {
        return [this](uint32_t milliseconds) { pauses.push_back(milliseconds); };
    }
};

void Release(const TempInstallation& install) {
    std::ofstream(install.Path("release")).put('\n');
}

TEST(CloseAssetDaemon, AloneItHoldsTheDatabaseAtOnceWithoutTheUtility) {
    TempInstallation install;
    install.InstallUtility();
    install.InstallDaemon();
    PauseLog log;
    EXPECT_TRUE(CloseAssetDaemon(install.database, install.Root(), log.Function()));
    EXPECT_TRUE(log.pauses.empty());
    EXPECT_TRUE(install.UtilityRuns().empty());
    ASSERT_NE(install.database.AttachedRecord(), nullptr);
    EXPECT_EQ(install.database.AttachedRecord()->Record().exclusiveProcess, getpid());

    // Others are kept out until the database is released.
    Peer other(install.Database(), {"attach"});
    EXPECT_EQ(other.Finish(), 1);
}

TEST(CloseAssetDaemon, AnotherUserWithoutADaemonMeansFiveAttemptsAndNoRequest) {
    TempInstallation install;
    install.InstallUtility();
    Peer user(install.Database(), {"attach", "ready", "wait-file", install.Path("release")});
    ASSERT_TRUE(user.ReadUntil("ready"));
    PauseLog log;
    EXPECT_FALSE(CloseAssetDaemon(install.database, install.Root(), log.Function()));
    EXPECT_EQ(log.pauses, (std::vector<uint32_t>(5, 2000)));
    EXPECT_TRUE(install.UtilityRuns().empty());
    EXPECT_EQ(install.database.AttachedRecord(), nullptr);
    Release(install);
    EXPECT_EQ(user.Finish(), 0);
}

TEST(CloseAssetDaemon, UncountedRecordNeverLooksAlone) {
    TempInstallation install;
    Peer user(install.Database(),
              {"attach", "version0", "ready", "wait-file", install.Path("release")});
    ASSERT_TRUE(user.ReadUntil("ready"));
    PauseLog log;
    EXPECT_FALSE(CloseAssetDaemon(install.database, install.Root(), log.Function()));
    EXPECT_EQ(log.pauses.size(), 5u);
    Release(install);
    EXPECT_EQ(user.Finish(), 0);
}

TEST(CloseAssetDaemon, ClosedDaemonLetsTheNextAttemptSucceed) {
    TempInstallation install;
    install.InstallDaemon();
    install.InstallUtility("daemon_stop=" + install.Path("stop") +
                           "\ndaemon_gone=" + install.Path("gone") + "\n");
    Peer daemon(install.Database(), {"attach", "ready", "wait-file", install.Path("stop"), "detach",
                                     "touch", install.Path("gone")});
    ASSERT_TRUE(daemon.ReadUntil("ready"));
    PauseLog log;
    EXPECT_TRUE(CloseAssetDaemon(install.database, install.Root(), log.Function()));
    EXPECT_EQ(log.pauses.size(), 1u);
    EXPECT_EQ(install.UtilityRuns(), (std::vector<std::string>{"closevaddaemon nostartvaddaemon"}));
    EXPECT_EQ(daemon.Finish(), 0);
    EXPECT_EQ(install.database.GetAttachCount(), 1);
}

// The one run with the real pauses: about ten seconds.
TEST(CloseAssetDaemon, DaemonThatStaysGetsOneRequestAndTheStepFails) {
    TempInstallation install;
    install.InstallDaemon();
    install.InstallUtility();
    Peer daemon(install.Database(), {"attach", "ready", "wait-file", install.Path("release")});
    ASSERT_TRUE(daemon.ReadUntil("ready"));
    EXPECT_FALSE(CloseAssetDaemon(install.database, install.Root()));
    EXPECT_EQ(install.UtilityRuns(), (std::vector<std::string>{"closevaddaemon nostartvaddaemon"}));
    Release(install);
    EXPECT_EQ(daemon.Finish(), 0);
}

}  // namespace
}  // namespace ZephPatch
