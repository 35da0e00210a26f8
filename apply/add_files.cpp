#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/patch_stage.h"
#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {

bool AddFiles::Execute(const PatchListEntry& entry, const std::string& relative, Reporter& reporter,
                       OrderedEntries&) {
    const std::string source = SourceOf(relative);
    const std::string target = TargetOf(relative);
    bool failed = !EnsureFolderOf(target, reporter);

    // A link standing there is moved aside like a file: it is never written through.
    const bool replacing = ZephUtil::EntryExists(target);
    if (!replacing) {
        if (!RecordNewFile(relative)) {
            Report(reporter, ReportLevel::kError,
                   [&] { return FormatMessage(kTextFailedToCreateBackup, target); });
            return false;
        }
    } else if (!MoveToBackup(relative)) {
        Report(reporter, ReportLevel::kError,
               [&] { return FormatMessage(kTextFailedToCreateBackup, target + kBackupSuffix); });
        return false;
    }

    if (!CopyFileOver(source, target)) {
        (void)ZephUtil::DeleteFileAt(target);  // a file that stays makes the copy below fail
        if (!CopyFileOver(source, target)) {
            Report(reporter, ReportLevel::kError,
                   [&] { return MessageText(kTextCouldNotCopy) + source; });
            failed = true;
        }
    }
    if (failed) {
        Report(reporter, ReportLevel::kStep, [&] {
            return MessageText(kTextFailedAdding) + entry.path + MessageText(kTextEllipsis);
        });
        return false;
    }
    // The archive carries no modes: a replaced program must stay one.
    if (replacing)
        // The file was just written by us, so it is ours to change.
        (void)ZephUtil::CopyPermissions(target + kBackupSuffix, target);
    else
        ZephUtil::ApplyNewFileMode(target, relative);
    return true;
}

}  // namespace ZephPatch
