#include <memory>

#include "assetdb/asset_database.h"
#include "assetdb/asset_database_steps.h"
#include "assetdb/messages.h"
#include "assetdb/vad_progress_threads.h"
#include "assetdb/vad_repair_thread.h"
#include "kernel/system/os_exception.h"
#include "kernel/threads/thread.h"

namespace ZephPatch {
namespace {

constexpr int kCancelPollMilliseconds = 1000;

// A thread that cannot be started is dropped; the step goes on without it.
template <typename T>
std::unique_ptr<T> Started(std::unique_ptr<T> thread) {
    try {
        if (thread->Start())
            return thread;
    } catch (const OSException&) {
    }
    return nullptr;
}

}  // namespace

void UpdateAssetDatabase(AssetDatabaseAttachment& database, const std::string& installPath,
                         ProgressSink& sink) {
    // The utility and the daemon need the database.
    database.ReleaseExclusive();
    database.DetachDatabase();
    sink.Report(ReportLevel::kStep, kMsgUpdatingAssetDatabase);

    auto progress = Started(std::make_unique<VADRepairProgressThread>(sink));
    auto repair = Started(std::make_unique<VADRepairThread>(installPath, sink));
    if (repair) {
        // Back as soon as the utility is done; the user's cancel is looked at in between.
        while (!repair->Wait(kCancelPollMilliseconds)) {
            if (!sink.ShouldContinue())
                repair->TerminateUtility();
        }
        repair->TerminateUtility();
        repair->Join();
    }
    if (progress) {
        progress->StopRunning();
        progress->Join();
    }
}

}  // namespace ZephPatch
