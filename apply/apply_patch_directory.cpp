#include "apply/apply_patch_directory.h"

#include <strings.h>

#include <cstring>
#include <set>

#include "apply/messages.h"
#include "apply/patch_journal.h"
#include "apply/patch_list.h"
#include "apply/patch_stage.h"
#include "apply/uninstall_log.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {
namespace {

struct PatchLists {
    std::vector<PatchListEntry> added;
    std::vector<PatchListEntry> deleted;
    std::vector<PatchListEntry> patched;
};

bool ReadList(const std::string& patchFolder, const char* name,
              std::vector<PatchListEntry>* entries, Reporter& reporter) {
    return ReadPatchListOrReport(ZephUtil::JoinPath(patchFolder, name), entries, reporter);
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
bool CheckNames(const PatchLists& lists, bool* logListed, Reporter& reporter) {
    std::set<std::string> seen;
    for (const auto* list : {&lists.added, &lists.deleted, &lists.patched}) {
        for (const PatchListEntry& entry : *list) {
            std::string relative;
            if (!ZephUtil::ToSafeRelativePath(entry.path, &relative) || relative == kJournalName ||
                relative == kTemporariesRecordName) {
                Report(reporter, ReportLevel::kError,
                       [&] { return MessageText(kTextListUnsafePath) + entry.path; });
                return false;
            }
            if (IsBackupName(relative)) {
                Report(reporter, ReportLevel::kError,
                       [&] { return MessageText(kTextListBackupName) + entry.path; });
                return false;
            }
            if (!seen.insert(relative).second) {
                Report(reporter, ReportLevel::kError,
                       [&] { return MessageText(kTextListDuplicate) + entry.path; });
                return false;
            }
        }
    }
    *logListed = seen.count(kUninstallLogName) > 0;
    return true;
}

bool ReadLists(const std::string& patchFolder, PatchLists* lists, bool* logListed,
               Reporter& reporter) {
    return ReadList(patchFolder, kAddedFilesList, &lists->added, reporter) &&
           ReadList(patchFolder, kDeletedFilesList, &lists->deleted, reporter) &&
           ReadList(patchFolder, kPatchedFilesList, &lists->patched, reporter) &&
           CheckNames(*lists, logListed, reporter);
}

// Settles what an interrupted application left; false when that could not be done, and then
// nothing may be touched: the journal still names backups that hold the user's files.
bool SettleInterruptedPatch(const std::string& installFolder, Reporter& reporter) {
    switch (RecoverInterruptedPatch(installFolder, reporter)) {
        case RecoveryResult::kNothing:
            return true;
        case RecoveryResult::kUndone:
            Report(reporter, ReportLevel::kInfo,
                   [&] { return MessageText(kTextInterruptedUndone) + installFolder; });
            return true;
        case RecoveryResult::kCompleted:
            Report(reporter, ReportLevel::kInfo,
                   [&] { return MessageText(kTextInterruptedCompleted) + installFolder; });
            return true;
        case RecoveryResult::kStuck:
            Report(reporter, ReportLevel::kError,
                   [&] { return MessageText(kTextInterruptedStuck) + installFolder; });
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
                         const std::string& lastFile, ProgressSink& reporter,
                         const std::function<void()>& onCommit) {
    if (!SettleInterruptedPatch(installFolder, reporter))
        return false;
    PatchLists lists;
    bool logListed = false;
    if (!ReadLists(patchFolder, &lists, &logListed, reporter))
        return false;
    MoveLastFileToEnd(&lists.patched, lastFile);
    reporter.StartApplying(
        static_cast<int>(lists.added.size() + lists.deleted.size() + lists.patched.size()));

    PatchJournal journal(installFolder);
    ApplyContext context{installFolder, patchFolder, BinFolder(installFolder), &journal, reporter};
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
        (void)journal.Remove();  // a journal left behind is settled at the next start
    return ok;
}

}  // namespace ZephPatch
