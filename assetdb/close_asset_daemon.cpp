#include <memory>

#include "assetdb/asset_database.h"
#include "assetdb/asset_database_steps.h"
#include "kernel/files/file_utils.h"
#include "kernel/threads/child_process.h"

namespace ZephPatch {
namespace {

constexpr int kAttempts = 5;
constexpr uint32_t kAttemptPauseMilliseconds = 2000;
constexpr int kCloseRequestWaitMilliseconds = 2000;

bool TakeDatabase(AssetDatabaseAttachment& database, const std::string& databasePath) {
    if (database.AttachDatabase(databasePath, false)) {
        if (database.GetAttachCount() == 1 && database.TryLockExclusive())
            return true;
        database.DetachDatabase();
    }
    return false;
}

// Only an installation with the daemon may have one running; the utility closes it and is
// told not to start it again.
void RequestDaemonClose(const std::string& installPath) {
    if (!ZephUtil::FileExists(ZephUtil::JoinPath(installPath, "bin/VADDaemon.exe")))
        return;
    std::unique_ptr<ZephUtil::ChildProcess> utility = ZephUtil::StartChildProcess(
        ZephUtil::JoinPath(installPath, "bin/VelmorUtil.exe"), "closevaddaemon nostartvaddaemon");
    if (!utility)
        return;
    ZephUtil::WaitChildProcess(*utility, kCloseRequestWaitMilliseconds);
    ZephUtil::CloseChildProcess(*utility);
}

}  // namespace

bool CloseAssetDaemon(AssetDatabaseAttachment& database, const std::string& installPath,
                      const SleepFunction& sleep) {
    const std::string databasePath = ZephUtil::JoinPath(installPath, "UserData/assets.tdx");
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (TakeDatabase(database, databasePath))
            return true;
        if (attempt == 0)
            RequestDaemonClose(installPath);
        sleep(kAttemptPauseMilliseconds);
    }
    return false;
}

}  // namespace ZephPatch
