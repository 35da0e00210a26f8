#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/patch_stage.h"
#include "apply/uninstall_log.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {

bool UninstallLogStage::Run(const std::vector<PatchListEntry>& added, bool logListed) {
    const std::string log = ZephUtil::JoinPath(m_context.installFolder, kUninstallLogName);
    if (!added.empty() && !logListed && ZephUtil::FileExists(log)) {
        const std::string backup = log + kBackupSuffix;
        if (!CopyFileOver(log, backup) || !m_context.journal->RecordUninstallLog()) {
            (void)ZephUtil::DeleteFileAt(backup);  // best effort: the log was not touched
            Report(m_context.reporter, ReportLevel::kError,
                   [&] { return FormatMessage(kTextFailedToCreateBackup, backup); });
            return false;
        }
        m_backedUp = true;
    }
    return UpdateUninstallLog(m_context.installFolder, m_context.patchFolder, m_context.reporter);
}

bool UninstallLogStage::Finish(bool ok) {
    if (!m_backedUp)
        return true;
    const std::string log = ZephUtil::JoinPath(m_context.installFolder, kUninstallLogName);
    const std::string backup = log + kBackupSuffix;
    if (ok) {
        (void)ZephUtil::DeleteFileAt(backup);  // a backup left behind is only a leftover
        return true;
    }
    // Best effort: the backup below is what counts.
    (void)ZephUtil::DeleteFileAt(
        ZephUtil::JoinPath(m_context.installFolder, kUninstallLogTempName));
    if (RenameFile(backup, log))
        return true;
    Report(m_context.reporter, ReportLevel::kError,
           [&] { return FormatMessage(kTextFailedToRestore, log); });
    return false;
}

}  // namespace ZephPatch
