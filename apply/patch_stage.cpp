#include "apply/patch_stage.h"

#include "apply/file_ops.h"
#include "apply/messages.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {
namespace {

// Puts a file back as it was: the new file goes, the backup (if any) takes its name.
bool Restore(const BackupRecord& record) {
    if (!record.backup.empty() && !ZephUtil::EntryExists(record.backup))
        return false;
    if (ZephUtil::EntryExists(record.target) && !ZephUtil::DeleteFileAt(record.target)) {
        return false;
    }
    return record.backup.empty() || RenameFile(record.backup, record.target);
}

}  // namespace

bool PatchStage::Run(const std::vector<PatchListEntry>& entries) {
    OrderedEntries ordered(m_context.reporter);
    Prepare(entries, ordered);
    for (const PatchListEntry& entry : entries) {
        // The last entry is where the launcher goes, to be changed when all else has been.
        if (&entry == &entries.back() && !ordered.Settle())
            return false;
        m_context.reporter.EntryBegun();
        if (!m_context.reporter.ShouldContinue()) {
            (void)ordered.Settle();  // cancelled: only waits for the entries in flight
            return false;
        }
        std::string relative;
        // The lists were checked before anything was touched; this cannot fail here.
        if (!ZephUtil::ToSafeRelativePath(entry.path, &relative))
            return false;
        if (!ordered.Run(
                [&](Reporter& reporter) { return Execute(entry, relative, reporter, ordered); }))
            return false;
    }
    return ordered.Settle();
}

bool PatchStage::Finish(bool ok) {
    if (ok) {
        for (const BackupRecord& record : m_backups) {
            if (!record.backup.empty())
                // A backup left behind is only a leftover.
                (void)ZephUtil::DeleteFileAt(record.backup);
        }
        return true;
    }
    bool restored = true;
    for (const BackupRecord& record : m_backups) {
        if (!Restore(record)) {
            Report(m_context.reporter, ReportLevel::kError,
                   [&] { return FormatMessage(kTextFailedToRestore, record.target); });
            restored = false;
        }
    }
    return restored;
}

std::string PatchStage::TargetOf(const std::string& relative) const {
    return ZephUtil::JoinPath(m_context.installFolder, relative);
}

std::string PatchStage::SourceOf(const std::string& relative) const {
    return ZephUtil::JoinPath(ZephUtil::JoinPath(m_context.patchFolder, "data"), relative);
}

bool PatchStage::EnsureFolderOf(const std::string& target, Reporter& reporter) const {
    const std::string folder = ParentFolder(target);
    if (folder.empty() || ZephUtil::IsDirectory(folder) || ZephUtil::MakeDirectory(folder)) {
        return true;
    }
    Report(reporter, ReportLevel::kError,
           [&] { return MessageText(kTextCouldNotCreateDirectory) + folder; });
    return false;
}

bool PatchStage::MoveToBackup(const std::string& relative) {
    const std::string target = TargetOf(relative);
    const std::string backup = target + kBackupSuffix;
    // A backup the journal does not name is stale; it must go before the journal names it,
    // and on disk too: after a power cut the journal would have it put back over the file.
    if (ZephUtil::EntryExists(backup) &&
        (!ZephUtil::DeleteFileAt(backup) || !SyncDirectory(ParentFolder(backup))))
        return false;
    if (!m_context.journal->RecordBackup(relative) || !RenameFile(target, backup))
        return false;
    m_backups.push_back({target, backup});
    return true;
}

bool PatchStage::RecordNewFile(const std::string& relative) {
    if (!m_context.journal->RecordAdded(relative))
        return false;
    m_backups.push_back({TargetOf(relative), ""});
    return true;
}

}  // namespace ZephPatch
