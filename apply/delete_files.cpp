#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/patch_stage.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {

bool DeleteFiles::Execute(const PatchListEntry&, const std::string& relative, Reporter& reporter,
                          OrderedEntries&) {
    const std::string target = TargetOf(relative);
    if (ZephUtil::EntryExists(target)) {
        if (MoveToBackup(relative))
            return true;
        if (ZephUtil::EntryExists(target)) {
            Report(reporter, ReportLevel::kError,
                   [&] { return MessageText(kTextCouldNotDelete) + target; });
            return false;
        }
    }
    Report(reporter, ReportLevel::kInfo, [&] { return MessageText(kTextRemovedAlready) + target; });
    return true;
}

// The deleted files come back without messages: none of them was changed. A backup that
// could not be renamed back still counts, so that the journal keeps naming it.
bool DeleteFiles::Finish(bool ok) {
    bool restored = true;
    for (const BackupRecord& record : m_backups) {
        if (ok) {
            (void)ZephUtil::DeleteFileAt(record.backup);  // a backup left behind is only a leftover
        } else if (!RenameFile(record.backup, record.target)) {
            restored = false;
        }
    }
    return restored;
}

}  // namespace ZephPatch
