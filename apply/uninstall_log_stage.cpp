#include "apply/callbacks.h"
#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/patch_stage.h"
#include "apply/uninstall_log.h"
#include "kernel/files/file_utils.h"

namespace ZephPatch {

bool UninstallLogStage::Run(const std::vector<PatchListEntry>& added, bool logListed) {
    const std::string log = ZephUtil::JoinPath(m_context.installFolder, kUninstallLogName);
    if (!added.empty() && !logListed && ZephUtil::FileExists(log)) {
        const std::string backup = log + kBackupSuffix;
        if (!CopyFileOver(log, backup) || !m_context.journal->RecordUninstallLog()) {
            ZephUtil::DeleteFileAt(backup);
            Report(kLevelError, [&] { return FormatMessage(kTextFailedToCreateBackup, backup); });
            return false;
        }
        m_backedUp = true;
    }
    return UpdateUninstallLog(m_context.installFolder, m_context.patchFolder);
}

bool UninstallLogStage::Finish(bool ok) {
    if (!m_backedUp)
        return true;
    const std::string log = ZephUtil::JoinPath(m_context.installFolder, kUninstallLogName);
    const std::string backup = log + kBackupSuffix;
    if (ok) {
        ZephUtil::DeleteFileAt(backup);
        return true;
    }
    ZephUtil::DeleteFileAt(ZephUtil::JoinPath(m_context.installFolder, kUninstallLogTempName));
    if (RenameFile(backup, log))
        return true;
    Report(kLevelError, [&] { return FormatMessage(kTextFailedToRestore, log); });
    return false;
}

}  // namespace ZephPatch
