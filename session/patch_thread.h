// `PatchThread`: one patch session on a worker thread. It checks what patching needs (rights,
// operating system, DirectX, files in use, disk space), applies the embedded patches or those
// the patch servers offer build after build, has the product repair its asset database, and
// ends with "Patching completed." or "Patching aborted." followed by SessionFinished.
// Implemented in patch_thread.cpp and remote_patches.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "assetdb/asset_database.h"
#include "assetdb/guarded_thread.h"
#include "assetdb/pacing.h"
#include "package/embedded_patch_container.h"
#include "session/download_progress.h"
#include "session/orvik_patch_task.h"
#include "session/os_info.h"
#include "session/patch_settings.h"
#include "session/session_front_end.h"
#include "session/session_outcome.h"
#include "transfer/transfer_result.h"

namespace ZephUtil {
struct ExpectedContent;
}

namespace ZephPatch {

// What a session takes from its surroundings; tests replace parts of it.
struct SessionEnvironment {
    OsInfo os;
    // The pauses between the attempts to get the asset database.
    SleepFunction sleep = RealSleep;
    // Free space the session insists on before it unpacks anything; no download, and no
    // unpacking, of one patch may take more.
    uint32_t requiredMegabytes = 4096;
    // The repair server ("host" or "host:port") given by the user; empty: the registry's
    // "RepairServer", else the built-in one.
    std::string repairServer;
    // How patiently the catalogue and the patches are fetched.
    ZephUtil::TransferSettings transfer;
};

class PatchThread : public GuardedThread {
public:
    // Reads and advances `settings`; reads patches from `container`; takes and releases the
    // asset database through `database`. All three must outlive the session. REQUIRES: no other
    // thread writes the settings or uses the container or the attachment while it runs.
    PatchThread(SessionFrontEnd& frontEnd, PatchSettings& settings,
                EmbeddedPatchContainer& container, AssetDatabaseAttachment& database,
                SessionEnvironment environment = {});

    // `Entry`: the whole session, on the calling thread (Run calls it on the worker).
    void Entry();

    // False only when the installation's file system has less than `megabytes` free. Chooses
    // the base of the unpack folders: the temporary folder, or the installation when the
    // temporary folder's file system is short.
    [[nodiscard]] bool CheckFreeSpace(uint32_t megabytes);
    // The embedded patches, from the current build until no build has one. False when a patch
    // could not be extracted or installed.
    [[nodiscard]] bool RunLocalPatches();
    // The patches the servers of the settings offer, from the current build until the
    // catalogue has none for any build left. False when no catalogue could be loaded or a
    // patch could not be downloaded or installed.
    [[nodiscard]] bool RunRemotePatches();
    // Unpacks the archive into a new folder below the work folder and applies it. 0 on success,
    // 10 when cancelled, another non-zero code on failure (reported at level 3).
    [[nodiscard]] int InstallPatchFile(const std::string& archivePath);
    // Applies an unpacked patch to the installation, with IsPatching set while it runs and left
    // set when it fails.
    [[nodiscard]] bool ApplyUnpackedPatch(const std::string& patchFolder);

    // True while a patch archive is being downloaded, with how far it got. Safe for concurrent
    // use (the window's timer and the console ask from their own thread).
    [[nodiscard]] bool QueryDownloadProgress(DownloadProgress* progress);

    // The base of the unpack folders (empty: the temporary folder).
    [[nodiscard]] const std::string& WorkDirectory() const { return m_workDirectory; }
    // Whether the last Entry ended with "Patching completed.".
    [[nodiscard]] bool Completed() const { return m_completed; }
    // How the last Entry ended.
    [[nodiscard]] SessionOutcome Outcome() const { return m_outcome; }

protected:
    [[nodiscard]] int Run() override;

private:
    // What the worker hands to the applier, the transfers, the repair and the asset-database
    // steps: the front end's lines and gauge, and a "go on" that ends with the user's cancel or
    // the owner's stop.
    class WorkerReporter : public ProgressSink {
    public:
        explicit WorkerReporter(PatchThread& thread) : m_thread(thread) {}
        void Report(ReportLevel level, const std::string& utf8) override {
            m_thread.m_frontEnd.Report(level, utf8);
        }
        [[nodiscard]] bool ShouldContinue() override { return !m_thread.Cancelled(); }
        void SetGaugeRange(int range) override { m_thread.m_frontEnd.SetGaugeRange(range); }
        void SetGaugeValue(int value) override { m_thread.m_frontEnd.SetGaugeValue(value); }
        void StartApplying(int total) override { m_thread.m_frontEnd.StartApplying(total); }
        void EntryBegun() override { m_thread.m_frontEnd.EntryBegun(); }

    private:
        PatchThread& m_thread;
    };

    [[nodiscard]] bool Cancelled();
    [[nodiscard]] ZephUtil::TransferContext Transfers() {
        return {m_environment.transfer, m_reporter};
    }
    // The room the space check insists on: no download or unpacking may take more.
    [[nodiscard]] uint64_t SpaceBudget() const;
    [[nodiscard]] bool PassesChecks();
    [[nodiscard]] bool RunChosenDriver();
    [[nodiscard]] bool InstallLocalPatch(const std::string& build);
    [[nodiscard]] int UnpackAndApply(const std::string& archivePath,
                                     const std::string& unpackFolder);
    [[nodiscard]] bool InstallRemotePatch(const PatchCatalogueEntry& entry);
    // `content` (may be null): the size and SHA-256 the archive must have.
    [[nodiscard]] bool DownloadPatch(const std::string& url, const std::string& archive,
                                     uint64_t expectedBytes,
                                     const ZephUtil::ExpectedContent* content);

    SessionFrontEnd& m_frontEnd;
    PatchSettings& m_settings;
    EmbeddedPatchContainer& m_container;
    AssetDatabaseAttachment& m_database;
    SessionEnvironment m_environment;
    WorkerReporter m_reporter{*this};
    OrvikPatchTask m_task;
    std::string m_workDirectory;
    bool m_completed = false;
    SessionOutcome m_outcome = SessionOutcome::kFailed;
};

// Error codes of InstallPatchFile besides 0.
enum InstallPatchResult : int {
    kInstallOk = 0,
    kInstallNoTempFolder = 1,
    kInstallUnpackFailed = 2,
    kInstallApplyFailed = 3,
    kInstallCancelled = 10,
};

}  // namespace ZephPatch
