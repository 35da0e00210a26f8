#include "assetdb/asset_database.h"

#include <gtest/gtest.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>

#include "kernel/system/wide_text.h"
#endif

#include "assetdb/object_names.h"
#include "test_support.h"

namespace ZephPatch {
namespace {

using Testing::kKilledExitCode;
using Testing::Peer;
using Testing::TempInstallation;
namespace fs = std::filesystem;

const DatabaseRecord& Record(TempInstallation& install) {
    return install.database.AttachedRecord()->Record();
}

bool SharedObjectExists(const TempInstallation& install) {
    DatabaseObjectNames names;
    if (!MakeDatabaseObjectNames(install.Database(), &names))
        return false;
#ifdef _WIN32
    HANDLE mapping =
        OpenFileMappingW(FILE_MAP_READ, FALSE, ZephUtil::ToWide(names.mappingName).c_str());
    if (mapping)
        CloseHandle(mapping);
    return mapping != nullptr;
#else
    return fs::exists("/dev/shm/" + names.sharedObjectName.substr(1));
#endif
}

TEST(AssetDatabase, FirstAttachmentCreatesTheRecordAndLastDetachRemovesIt) {
    TempInstallation install;
    EXPECT_EQ(install.database.GetAttachCount(), 0);
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    EXPECT_TRUE(install.database.AttachDatabase(install.Database(), false));  // already attached
    const DatabaseRecord& record = Record(install);
    EXPECT_EQ(record.primaryProcess, getpid());
    EXPECT_EQ(record.ownerProcess, kNoProcess);
    EXPECT_EQ(record.requesterProcess, kNoProcess);
    EXPECT_EQ(record.changeCount, 0);
    EXPECT_EQ(record.recordVersion, 3);
    EXPECT_EQ(install.database.GetAttachCount(), 1);
    EXPECT_EQ(record.exclusiveProcess, 0);
    EXPECT_EQ(record.admitRequesters, 0);
    EXPECT_EQ(record.ownerData, 0);

    // Another process counts itself in and, as a non-maintainer, leaves its count behind.
    Peer peer(install.Database(), {"attach", "count", "detach"});
    EXPECT_EQ(peer.Finish(), 0);
    EXPECT_NE(peer.Output().find("count 2"), std::string::npos) << peer.Output();
    EXPECT_EQ(install.database.GetAttachCount(), 2);
    EXPECT_EQ(Record(install).primaryProcess, getpid());

    EXPECT_TRUE(SharedObjectExists(install));
    install.database.DetachDatabase();
    EXPECT_FALSE(SharedObjectExists(install));
    EXPECT_EQ(install.database.GetAttachCount(), 0);
    EXPECT_EQ(install.database.AttachedRecord(), nullptr);

    // The next attachment starts with a fresh record.
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    EXPECT_EQ(install.database.GetAttachCount(), 1);
}

TEST(AssetDatabase, ExclusiveUseKeepsOthersOutExceptAdmittedRequesters) {
    TempInstallation install;
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    ASSERT_TRUE(install.database.TryLockExclusive());
    EXPECT_EQ(Record(install).exclusiveProcess, getpid());
    EXPECT_EQ(Record(install).ownerProcess, getpid());

    Peer refused(install.Database(), {"attach"});
    EXPECT_EQ(refused.Finish(), 1);
    Peer requester(install.Database(), {"attach-requester"});
    EXPECT_EQ(requester.Finish(), 1);
    EXPECT_EQ(install.database.GetAttachCount(), 1);

    StoreField(install.database.AttachedRecord()->Record().admitRequesters, uint8_t{1});
    Peer admitted(install.Database(), {"attach-requester", "request"});
    EXPECT_EQ(admitted.Finish(), 0);
    EXPECT_NE(admitted.Output().find("request 0"), std::string::npos);
    EXPECT_EQ(Record(install).requesterProcess, admitted.Pid());

    install.database.ReleaseExclusive();
    EXPECT_EQ(Record(install).exclusiveProcess, 0);
    EXPECT_EQ(Record(install).ownerProcess, kNoProcess);
}

TEST(AssetDatabase, ExclusiveUseNeedsToBeAlone) {
    TempInstallation install;
    Peer peer(install.Database(), {"attach", "ready", "wait-file", install.Path("release")});
    ASSERT_TRUE(peer.ReadUntil("ready"));
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    EXPECT_EQ(install.database.GetAttachCount(), 2);
    EXPECT_FALSE(install.database.TryLockExclusive());
    EXPECT_EQ(Record(install).exclusiveProcess, 0);
    std::ofstream(install.Path("release")).put('\n');
    EXPECT_EQ(peer.Finish(), 0);
}

TEST(AssetDatabase, OwnershipAndTheRequesterQueue) {
    TempInstallation install;
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    Peer owner(install.Database(),
               {"attach", "own", "ready", "wait-file", install.Path("release"), "detach"});
    ASSERT_TRUE(owner.ReadUntil("ready"));
    EXPECT_NE(owner.Output().find("own 1"), std::string::npos);

    EXPECT_FALSE(install.database.TryTakeOwnership(false));
    EXPECT_EQ(Record(install).requesterProcess, kNoProcess);
    EXPECT_FALSE(install.database.TryTakeOwnership(true));
    EXPECT_EQ(Record(install).requesterProcess, getpid());

    std::ofstream(install.Path("release")).put('\n');
    EXPECT_EQ(owner.Finish(), 0);
    EXPECT_EQ(Record(install).ownerProcess, kNoProcess);    // the owner gave it up when detaching
    EXPECT_TRUE(install.database.TryTakeOwnership(false));  // the queued requester may take it
    EXPECT_EQ(Record(install).ownerProcess, getpid());
    EXPECT_EQ(Record(install).requesterProcess, kNoProcess);
}

TEST(AssetDatabase, MaintainerClearsDeadOwnerAndRequester) {
    TempInstallation install;
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    Peer owner(install.Database(), {"attach", "own", "die"});
    EXPECT_EQ(owner.Finish(), kKilledExitCode);
    Peer requester(install.Database(), {"attach", "request", "die"});
    EXPECT_EQ(requester.Finish(), kKilledExitCode);
    ASSERT_EQ(Record(install).ownerProcess, owner.Pid());
    ASSERT_EQ(Record(install).requesterProcess, requester.Pid());

    testing::internal::CaptureStdout();
    install.database.IPCIdle();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("IPCIdle> clearing dead database owner (owner processID was " +
                       std::to_string(owner.Pid()) + ")"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("IPCIdle> clearing dead database requester (requester processID was " +
                       std::to_string(requester.Pid()) + ")"),
              std::string::npos)
        << log;
    EXPECT_EQ(Record(install).ownerProcess, kNoProcess);
    EXPECT_EQ(Record(install).requesterProcess, kNoProcess);
    EXPECT_TRUE(install.database.TryTakeOwnership(false));
}

TEST(AssetDatabase, NonMaintainerTakesOverFromADeadMaintainer) {
    TempInstallation install;
    Peer maintainer(install.Database(),
                    {"attach", "ready", "wait-file", install.Path("go"), "die"});
    ASSERT_TRUE(maintainer.ReadUntil("ready"));
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    EXPECT_EQ(Record(install).primaryProcess, maintainer.Pid());

    std::ofstream(install.Path("go")).put('\n');
    EXPECT_EQ(maintainer.Finish(), kKilledExitCode);
    install.database.IPCIdle();
    EXPECT_EQ(Record(install).primaryProcess, getpid());
    // As maintainer it now gives the role back when it detaches.
    install.database.DetachDatabase();
}

TEST(AssetDatabase, ProcessKilledHoldingTheMutexBlocksNobody) {
    TempInstallation install;
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    Peer holder(install.Database(), {"attach", "lock", "die"});
    EXPECT_EQ(holder.Finish(), kKilledExitCode);

    EXPECT_TRUE(install.database.TryTakeOwnership(false));
    Peer next(install.Database(), {"attach", "count"});
    EXPECT_EQ(next.Finish(), 0);
    EXPECT_NE(next.Output().find("count 3"), std::string::npos) << next.Output();
}

TEST(AssetDatabase, RecordLeftByCrashedProcessesStartsAfresh) {
    TempInstallation install;
    // The only user takes the database exclusively, locks the record and dies.
    Peer crashed(install.Database(), {"attach", "exclusive", "lock", "die"});
    EXPECT_EQ(crashed.Finish(), kKilledExitCode);
    EXPECT_NE(crashed.Output().find("exclusive 1"), std::string::npos);
#ifdef _WIN32
    EXPECT_FALSE(SharedObjectExists(install));  // the system removes them with the last handle
#else
    EXPECT_TRUE(SharedObjectExists(install));
#endif

    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    EXPECT_EQ(Record(install).primaryProcess, getpid());
    EXPECT_EQ(Record(install).exclusiveProcess, 0);
    EXPECT_EQ(install.database.GetAttachCount(), 1);
    EXPECT_TRUE(install.database.TryLockExclusive());
}

TEST(AssetDatabase, UncountedRecordReadsAsMinusOne) {
    TempInstallation install;
    Peer peer(install.Database(),
              {"attach", "version0", "ready", "wait-file", install.Path("release")});
    ASSERT_TRUE(peer.ReadUntil("ready"));
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    EXPECT_EQ(install.database.GetAttachCount(), -1);
    EXPECT_EQ(static_cast<uint8_t>(Record(install).attachCount), 255);
    install.database.DetachDatabase();
    std::ofstream(install.Path("release")).put('\n');
    EXPECT_EQ(peer.Finish(), 0);
}

TEST(AssetDatabase, DetachedProcessDoesNothing) {
    AssetDatabaseAttachment detached;
    EXPECT_FALSE(detached.TryTakeOwnership(true));
    EXPECT_FALSE(detached.TryLockExclusive());
    detached.ReleaseExclusive();
    detached.IPCIdle();
    detached.DetachDatabase();
    EXPECT_EQ(detached.GetAttachCount(), 0);
}

}  // namespace
}  // namespace ZephPatch
