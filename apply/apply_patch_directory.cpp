#include "apply/apply_patch_directory.h"

#include <strings.h>

#include <cstring>
#include <set>

#include "apply/callbacks.h"
#include "apply/messages.h"
#include "apply/patch_journal.h"
#include "apply/patch_list.h"
#include "apply/patch_stage.h"
#include "apply/uninstall_log.h"
#include "kernel/files/file_utils.h"

namespace ZephPatch {
namespace {

struct PatchLists {
    std::vector<PatchListEntry> added;
    std::vector<PatchListEntry> deleted;
    std::vector<PatchListEntry> patched;
};

bool ReadList(const std::string& patchFolder, const char* name,
              std::vector<PatchListEntry>* entries) {
    return ReadPatchListOrReport(ZephUtil::JoinPath(patchFolder, name), entries);
}

// A backup's name is ours: a patch that named one would have its file taken for a stale
// backup and dropped, or put back over the file the backup was made of.
bool IsBackupName(const std::string& relative) {
    const size_t length = std::strlen(kBackupSuffix);
    return relative.size() >= length &&
           strcasecmp(relative.c_str() + relative.size() - length, kBackupSuffix) == 0;
}

// Every name must stay inside the installation and no file may be named twice: a second
// change of one file would take the backup of the first for stale and drop the original.
bool CheckNames(const PatchLists& lists, bool* logListed) {
    std::set<std::string> seen;
    for (const auto* list : {&lists.added, &lists.deleted, &lists.patched}) {
        for (const PatchListEntry& entry : *list) {
            std::string relative;
            if (!ZephUtil::ToSafeRelativePath(entry.path, &relative) || relative == kJournalName ||
                relative == kTemporariesRecordName) {
                Report(kLevelError, [&] { return MessageText(kTextListUnsafePath) + entry.path; });
                return false;
            }
            if (IsBackupName(relative)) {
                Report(kLevelError, [&] { return MessageText(kTextListBackupName) + entry.path; });
                return false;
            }
            if (!seen.insert(relative).second) {
                Report(kLevelError, [&] { return MessageText(kTextListDuplicate) + entry.path; });
                return false;
            }
        }
    }
    *logListed = seen.count(kUninstallLogName) > 0;
    return true;
}

bool ReadLists(const std::string& patchFolder, PatchLists* lists, bool* logListed) {
    return ReadList(patchFolder, kAddedFilesList, &lists->added) &&
           ReadList(patchFolder, kDeletedFilesList, &lists->deleted) &&
           ReadList(patchFolder, kPatchedFilesList, &lists->patched) &&
           CheckNames(*lists, logListed);
}

// Settles what an interrupted application left; false when that could not be done, and then
// nothing may be touched: the journal still names backups that hold the user's files.
bool SettleInterruptedPatch(const std::string& installFolder) {
    switch (RecoverInterruptedPatch(installFolder)) {
        case RecoveryResult::kNothing:
            return true;
        case RecoveryResult::kUndone:
            Report(kLevelInfo, [&] { return MessageText(kTextInterruptedUndone) + installFolder; });
            return true;
        case RecoveryResult::kCompleted:
            Report(kLevelInfo,
                   [&] { return MessageText(kTextInterruptedCompleted) + installFolder; });
            return true;
        case RecoveryResult::kStuck:
            Report(kLevelError, [&] { return MessageText(kTextInterruptedStuck) + installFolder; });
            return false;
    }
    return false;
}

std::string BinFolder(const std::string& installFolder) {
    const bool separated =
        !installFolder.empty() && (installFolder.back() == '/' || installFolder.back() == '\\');
    return installFolder + (separated ? "" : "/") + "bin/";
}

}  // namespace

bool ApplyPatchDirectory(const std::string& installFolder, const std::string& patchFolder,
                         const std::string& lastFile, const std::function<void()>& onCommit) {
    if (!SettleInterruptedPatch(installFolder))
        return false;
    PatchLists lists;
    bool logListed = false;
    if (!ReadLists(patchFolder, &lists, &logListed))
        return false;
    MoveLastFileToEnd(&lists.patched, lastFile);
    ReportTotal(static_cast<int>(lists.added.size() + lists.deleted.size() + lists.patched.size()));

    PatchJournal journal(installFolder);
    ApplyContext context{installFolder, patchFolder, BinFolder(installFolder), &journal};
    AddFiles add(context);
    DeleteFiles remove(context);
    PatchFiles patch(context);
    UninstallLogStage log(context);
    const bool ok = add.Run(lists.added) && remove.Run(lists.deleted) && patch.Run(lists.patched) &&
                    log.Run(lists.added, logListed) && journal.RecordCommit();
    if (ok && onCommit)
        onCommit();

    // Every finish step runs, whatever the others did.
    bool settled = add.Finish(ok);
    settled = remove.Finish(ok) && settled;
    settled = patch.Finish(ok) && settled;
    settled = log.Finish(ok) && settled;
    // A backup that could not be put back stays named, for the next application to retry.
    if (settled)
        journal.Remove();
    return ok;
}

}  // namespace ZephPatch
