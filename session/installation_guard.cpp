#include "session/installation_guard.h"

#include <memory>
#include <vector>

#include "apply/messages.h"
#include "apply/patch_journal.h"
#include "apply/record_file.h"
#include "kernel/files/file_utils.h"
#include "kernel/files/folder_lock.h"
#include "session/patching_flag.h"

namespace ZephPatch {
namespace {

struct HeldInstallation {
    ZephUtil::FolderLock lock;
    std::string folder;  // empty: none held
    std::unique_ptr<RecordFile> temporaries;
};

HeldInstallation& Held() {
    static HeldInstallation held;
    return held;
}

std::string TemporariesPath(const std::string& folder) {
    return ZephUtil::JoinPath(folder, kTemporariesRecordName);
}

// Removes what a killed session recorded; the record goes once all of it has gone.
int RemoveRecordedTemporaries(const std::string& folder) {
    const std::string record = TemporariesPath(folder);
    std::vector<std::string> paths;
    if (!ZephUtil::FileExists(record) || !ReadRecords(record, &paths))
        return 0;
    int removed = 0;
    bool allGone = true;
    for (const std::string& path : paths) {
        if (!ZephUtil::FileExists(path))
            continue;
        const bool gone =
            ZephUtil::IsDirectory(path) ? ZephUtil::DeleteTree(path) : ZephUtil::DeleteFileAt(path);
        removed += gone ? 1 : 0;
        allGone = allGone && gone;
    }
    if (allGone)
        // Best effort: a record that stays is read again next time.
        (void)ZephUtil::DeleteFileAt(record);
    return removed;
}

std::string Counted(int count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// One line for everything that was repaired; empty when nothing was.
std::string RepairLine(const std::string& folder, RecoveryResult result,
                       const RecoveryCounts& counts, int temporaries, bool markCleared) {
    std::vector<std::string> parts;
    if (result == RecoveryResult::kUndone)
        parts.push_back("the unfinished patch was undone (" +
                        Counted(counts.filesSettled, "change") + " reverted)");
    if (result == RecoveryResult::kCompleted)
        parts.push_back("the finished patch was completed (" +
                        Counted(counts.filesSettled, "backup") + " dropped)");
    if (const int removed = counts.temporariesRemoved + temporaries; removed > 0)
        parts.push_back(Counted(removed, "temporary item") + " removed");
    if (markCleared)
        parts.push_back("the IsPatching mark was cleared");
    if (parts.empty())
        return {};
    std::string line = "Repaired after an interrupted run in " + folder + ": " + parts[0];
    for (size_t i = 1; i < parts.size(); ++i)
        line += "; " + parts[i];
    return line + ".";
}

}  // namespace

SettleResult SettleInstallation(const std::string& installFolder, Reporter& reporter) {
    HeldInstallation& held = Held();
    if (held.folder != installFolder)
        held.temporaries.reset();
    held.folder.clear();
    switch (held.lock.Lock(installFolder)) {
        case ZephUtil::FolderLockResult::kBusy:
            return SettleResult::kInUse;
        case ZephUtil::FolderLockResult::kUnavailable:
            return SettleResult::kReady;
        case ZephUtil::FolderLockResult::kLocked:
            break;
    }
    held.folder = installFolder;

    RecoveryCounts counts;
    const RecoveryResult result = RecoverInterruptedPatch(installFolder, reporter, &counts);
    if (result == RecoveryResult::kStuck) {
        reporter.Report(ReportLevel::kError, MessageText(kTextInterruptedStuck) + installFolder);
        return SettleResult::kStuck;
    }
    const int temporaries = RemoveRecordedTemporaries(installFolder);
    // Whole again after an interrupted patch. A mark without one is a failed patch's, which
    // stays for the product to see.
    const bool markCleared = result != RecoveryResult::kNothing && ClearPatchingFlag();
    const std::string line = RepairLine(installFolder, result, counts, temporaries, markCleared);
    if (!line.empty())
        reporter.Report(ReportLevel::kInfo, line);
    return SettleResult::kReady;
}

bool RecordSessionTemporary(const std::string& path) {
    HeldInstallation& held = Held();
    // An installation that has gone holds nothing left to settle.
    if (held.folder.empty() || !ZephUtil::IsDirectory(held.folder))
        return true;
    if (!held.temporaries)
        held.temporaries = std::make_unique<RecordFile>(TemporariesPath(held.folder));
    return held.temporaries->Append(path);
}

void ForgetSessionTemporaries() {
    HeldInstallation& held = Held();
    if (!held.temporaries)
        return;
    held.temporaries->Close();
    // Best effort: a record that stays only costs a clean-up at the next start.
    (void)ZephUtil::DeleteFileAt(held.temporaries->Path());
    held.temporaries.reset();
}

}  // namespace ZephPatch
