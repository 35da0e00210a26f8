#include "session/patch_thread.h"

#include <memory>
#include <set>

#include "apply/apply_patch_directory.h"
#include "assetdb/asset_database_steps.h"
#include "assetdb/vad_progress_threads.h"
#include "kernel/files/file_utils.h"
#include "kernel/messages/message_catalogue.h"
#include "kernel/system/os_exception.h"
#include "package/patch_archive.h"
#include "session/build_list.h"
#include "session/installation_check.h"
#include "session/installation_guard.h"
#include "session/patch_rights.h"
#include "session/patching_flag.h"
#include "session/repair_session.h"
#include "session/session_messages.h"
#include "session/temp_names.h"

namespace ZephPatch {
namespace {

constexpr char kLastPatchedFile[] = "ZephLauncher.exe";
constexpr uint64_t kBytesPerMegabyte = 1048576;
std::string WithNumber(std::string text, uint32_t number) {
    if (size_t at = text.find("%d"); at != std::string::npos)
        text.replace(at, 2, std::to_string(number));
    return text;
}

std::unique_ptr<VADHackProgressThread> StartUnpackProgress(ProgressSink& sink,
                                                           const std::string& archivePath) {
    uint64_t size = 0;
    // An archive that cannot be measured will not unpack either; the unpack reports why.
    if (ZephUtil::GetFileSizeOf(archivePath, &size) != 0)
        return nullptr;
    auto thread = std::make_unique<VADHackProgressThread>(
        sink, VADHackProgressThread::MinutesForArchive(size));
    try {
        if (thread->Start())
            return thread;
    } catch (const OSException&) {
    }
    return nullptr;  // the patch goes on without a moving gauge
}

}  // namespace

PatchThread::PatchThread(SessionFrontEnd& frontEnd, PatchSettings& settings,
                         EmbeddedPatchContainer& container, AssetDatabaseAttachment& database,
                         SessionEnvironment environment)
    : m_frontEnd(frontEnd),
      m_settings(settings),
      m_container(container),
      m_database(database),
      m_environment(std::move(environment)) {}

bool PatchThread::Cancelled() {
    return !KeepRunning() || !m_frontEnd.ShouldContinue();
}

int PatchThread::Run() {
    Entry();
    m_frontEnd.SessionFinished();
    return 0;
}

void PatchThread::Entry() {
    // Whatever the user's language, a session reports in English from here on.
    SetMessageLanguage(LANGUAGE_ENGLISH);
    m_outcome = SessionOutcome::kFailed;
    m_completed = PassesChecks() && RunChosenDriver();
    ForgetSessionTemporaries();
    if (m_completed)
        m_outcome = SessionOutcome::kCompleted;
    else if (Cancelled())
        m_outcome = SessionOutcome::kCancelled;
    m_frontEnd.Report(ReportLevel::kStep,
                      SessionMessage(m_completed ? kMsgPatchingCompleted : kMsgPatchingAborted));
}

bool PatchThread::PassesChecks() {
    const std::string& installPath = m_settings.installPath;
    if (!CheckPatchRights(installPath)) {
        m_outcome = SessionOutcome::kNoRights;
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgPatchingNeedsAdmin));
        m_frontEnd.ShowMessageBox(SessionMessage(kMsgRequiresAdminText),
                                  SessionMessage(kMsgRequiresAdminCaption));
        return false;
    }
    if (NeedsServicePack(m_environment.os)) {
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgNeedsServicePack));
        return false;
    }
    if (!m_environment.os.directXAvailable) {
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgNeedsDirectX));
        return false;
    }
    // A wrong folder would otherwise fail below as files in use.
    if (const std::string wrongFolder = NotAnInstallationText(installPath); !wrongFolder.empty()) {
        m_outcome = SessionOutcome::kNotInstallation;
        m_frontEnd.Report(ReportLevel::kError, wrongFolder);
        return false;
    }
    // Before anything reads the installation: another installer may hold it, or a killed one
    // may have left it half patched.
    const SettleResult settled = SettleInstallation(installPath, m_reporter);
    if (settled == SettleResult::kStuck)
        return false;
    if (settled == SettleResult::kInUse ||
        !CloseAssetDaemon(m_database, installPath, m_environment.sleep)) {
        m_outcome = SessionOutcome::kFilesInUse;
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgFilesInUse));
        m_frontEnd.ShowMessageBox(SessionMessage(kMsgFilesInUseText),
                                  SessionMessage(kMsgFilesInUseCaption));
        m_frontEnd.EnableApplyUpdate();
        return false;
    }
    return true;
}

bool PatchThread::RunChosenDriver() {
    // A repair rewrites files in place: it needs no room to unpack and leaves no patch behind
    // for the asset database to take in.
    if (m_settings.repairMode) {
        const RepairResult result =
            RunRepairSession(m_settings.installPath, m_reporter, m_environment.repairServer);
        if (result == RepairResult::kServerUnreachable)
            m_outcome = SessionOutcome::kNetworkFailed;
        return result == RepairResult::kRepaired;
    }
    if (!CheckFreeSpace(m_environment.requiredMegabytes)) {
        m_frontEnd.Report(ReportLevel::kError, WithNumber(SessionMessage(kMsgNotEnoughSpace),
                                                          m_environment.requiredMegabytes));
        return false;
    }
    if (m_settings.localPatchesReady) {
        m_frontEnd.Report(ReportLevel::kDetail, kTextInstallingLocal);
        return RunLocalPatches();
    }
    if (!m_settings.patchServers.empty()) {
        m_frontEnd.Report(ReportLevel::kDetail, kTextInstallingRemote);
        return RunRemotePatches();
    }
    return false;
}

uint64_t PatchThread::SpaceBudget() const {
    return static_cast<uint64_t>(m_environment.requiredMegabytes) * kBytesPerMegabyte;
}

bool PatchThread::CheckFreeSpace(uint32_t megabytes) {
    m_frontEnd.Report(ReportLevel::kStep, SessionMessage(kMsgCheckingSpace));
    const std::string& installPath = m_settings.installPath;
    const uint64_t required = static_cast<uint64_t>(megabytes) * kBytesPerMegabyte;
    m_workDirectory = TempFolder();
    uint64_t tempFree = 0;
    const bool tempKnown = GetFolderFreeSpace(m_workDirectory, &tempFree);
    if (tempKnown && tempFree < required)
        m_workDirectory = installPath;  // unpack on the installation's file system instead
    uint64_t installFree = 0;
    if (GetFolderFreeSpace(installPath, &installFree)) {
        if (installFree < required)
            return false;
        if (tempKnown)
            return true;
    }
    m_frontEnd.Report(ReportLevel::kStep, SessionMessage(kMsgSpaceUnknown));
    return true;
}

bool PatchThread::RunLocalPatches() {
    // A container whose patches lead back to a build already left would otherwise loop.
    std::set<std::string> patchedFrom;
    for (;;) {
        std::string next = kTextNextVersion;
        next.replace(next.find("%s"), 2, InstalledBuildsText(m_settings));
        m_frontEnd.Report(ReportLevel::kDetail, next);
        const std::string current = CurrentBuild(m_settings);
        const std::string target =
            patchedFrom.contains(current) ? std::string() : m_container.LookupTarget(current);
        if (target.empty()) {
            // Another installed build may still have a patch of its own.
            if (!DropCurrentBuild(m_settings))
                break;
            continue;
        }
        m_settings.targetBuild = target;
        if (!InstallLocalPatch(current))
            return false;
        patchedFrom.insert(current);
        m_settings.targetBuild.clear();
        // True while another build is left; the loop looks again.
        (void)DropCurrentBuild(m_settings);
        MakeCurrentBuild(m_settings, target);
    }
    m_frontEnd.Report(ReportLevel::kStep, SessionMessage(kMsgNoMorePatches));
    m_settings.targetBuild.clear();
    UpdateAssetDatabase(m_database, m_settings.installPath, m_reporter);
    return true;
}

bool PatchThread::InstallLocalPatch(const std::string& build) {
    std::string archive;
    if (!MakeTempPatchFileName(m_settings, &archive)) {
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgCannotCreateTempFile));
        return false;
    }
    if (m_container.ExtractPatch(build, archive) != kExtractOk) {
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgCannotExtractPatch));
        (void)ZephUtil::DeleteFileAt(archive);  // best effort: the failure is what counts
        return false;
    }
    const int result = InstallPatchFile(archive);
    (void)ZephUtil::DeleteFileAt(archive);  // best effort: a leftover in the temporary folder
    if (result != kInstallOk)
        return false;
    m_frontEnd.PatchInstalled();
    return true;
}

int PatchThread::InstallPatchFile(const std::string& archivePath) {
    // Each patch gets its own folder below the work folder, which stays what the space check
    // chose, so that no emptied folder of an earlier patch is left behind.
    std::string unpackFolder = m_workDirectory;
    if (!MakeUniqueTempDir(&unpackFolder)) {
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgCannotCreateTempDir));
        return kInstallNoTempFolder;
    }
    auto progress = StartUnpackProgress(m_reporter, archivePath);
    const int result = UnpackAndApply(archivePath, unpackFolder);
    (void)ZephUtil::DeleteTree(unpackFolder);  // best effort: a leftover in the temporary folder
    if (progress) {
        progress->StopRunning();
        progress->Join();
    }
    return result;
}

int PatchThread::UnpackAndApply(const std::string& archivePath, const std::string& unpackFolder) {
    if (Cancelled())
        return kInstallCancelled;
    m_frontEnd.Report(ReportLevel::kStep, SessionMessage(kMsgUnpacking));
    const int unpacked = UnpackArchive(archivePath, unpackFolder, SpaceBudget());
    if (unpacked != kUnpackOk) {
        if (unpacked == kUnpackTooLarge)
            m_frontEnd.Report(ReportLevel::kError,
                              WithNumber(kTextUnpacksTooLarge, m_environment.requiredMegabytes));
        m_frontEnd.Report(ReportLevel::kError, SessionMessage(kMsgUnpackFailed));
        return kInstallUnpackFailed;
    }
    if (Cancelled())
        return kInstallCancelled;
    const std::string current = CurrentBuild(m_settings);
    const std::string& target = m_settings.targetBuild;
    m_frontEnd.Report(ReportLevel::kStep, FormatMessage(kMsgPatchingFromTo, current, target));
    if (!ApplyUnpackedPatch(unpackFolder)) {
        m_frontEnd.Report(ReportLevel::kError,
                          SessionMessage(kMsgApplyFailed) + current + "_to_" + target);
        return kInstallApplyFailed;
    }
    return kInstallOk;
}

bool PatchThread::ApplyUnpackedPatch(const std::string& patchFolder) {
    const std::string& installPath = m_settings.installPath;
    (void)SetPatchingFlag();  // the mark is a hint for the product; patching goes on without it
    m_frontEnd.ShowInstallPath(installPath);
    // The mark goes at the commit point, so that no kill leaves it on a patched installation.
    if (ApplyPatchDirectory(installPath, patchFolder, kLastPatchedFile, m_reporter,
                            [] { (void)ClearPatchingFlag(); }))
        return true;
    m_frontEnd.SetGaugeRange(1);
    m_frontEnd.SetGaugeValue(1);
    // Left set, so that the product can tell an interrupted installation.
    (void)SetPatchingFlag();
    return false;
}

}  // namespace ZephPatch
