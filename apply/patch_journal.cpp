#include "apply/patch_journal.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <vector>

#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/uninstall_log.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {
namespace {

constexpr const char kBackupTag[] = "backup ";
constexpr const char kAddedTag[] = "added ";
constexpr const char kUninstallLogLine[] = "uninstall-log";
constexpr const char kCommitLine[] = "commit";
// mkstemp's "XXXXXX": six letters or digits.
constexpr size_t kToolSuffixLength = 6;

std::string InstallPath(const std::string& installFolder, const std::string& relative) {
    return ZephUtil::JoinPath(installFolder, relative);
}

// The paths a journal's records write: each backed-up or added file and the uninstall log.
std::string WrittenPath(const std::string& installFolder, const std::string& line) {
    if (line.starts_with(kBackupTag))
        return InstallPath(installFolder, line.substr(sizeof kBackupTag - 1));
    if (line.starts_with(kAddedTag))
        return InstallPath(installFolder, line.substr(sizeof kAddedTag - 1));
    if (line == kUninstallLogLine)
        return InstallPath(installFolder, kUninstallLogName);
    return {};
}

std::vector<std::string> WrittenPaths(const std::string& installFolder,
                                      const std::vector<std::string>& records) {
    std::vector<std::string> written;
    for (const std::string& line : records) {
        std::string path = WrittenPath(installFolder, line);
        if (!path.empty())
            written.push_back(std::move(path));
    }
    return written;
}

// Puts `target` back from its backup when the backup exists; a missing backup means the
// rename never happened or was already undone. False when the file could not be put back.
bool RestoreIfBackedUp(const std::string& target, int* settled) {
    const std::string backup = target + kBackupSuffix;
    if (!ZephUtil::EntryExists(backup))
        return true;
    if (ZephUtil::EntryExists(target) && !ZephUtil::DeleteFileAt(target))
        return false;
    if (!RenameFile(backup, target))
        return false;
    ++*settled;
    return true;
}

bool DeleteIfPresent(const std::string& path, int* deleted) {
    if (!ZephUtil::EntryExists(path))
        return true;
    if (!ZephUtil::DeleteFileAt(path))
        return false;
    ++*deleted;
    return true;
}

// Undoes one record; false when a file could not be put back (reported).
bool Undo(const std::string& installFolder, const std::string& line, int* settled,
          Reporter& reporter) {
    bool done = true;
    std::string target;
    if (line.starts_with(kBackupTag)) {
        target = InstallPath(installFolder, line.substr(sizeof kBackupTag - 1));
        done = RestoreIfBackedUp(target, settled);
    } else if (line.starts_with(kAddedTag)) {
        target = InstallPath(installFolder, line.substr(sizeof kAddedTag - 1));
        done = DeleteIfPresent(target, settled);
    } else if (line == kUninstallLogLine) {
        target = InstallPath(installFolder, kUninstallLogName);
        done = RestoreIfBackedUp(target, settled);
    }
    if (!done) {
        Report(reporter, ReportLevel::kError,
               [&] { return FormatMessage(kTextFailedToRestore, target); });
    }
    return done;
}

// Drops what a committed application left behind.
void Complete(const std::string& installFolder, const std::string& line, int* settled) {
    if (line.starts_with(kBackupTag)) {
        DeleteIfPresent(
            InstallPath(installFolder, line.substr(sizeof kBackupTag - 1)) + kBackupSuffix,
            settled);
    } else if (line == kUninstallLogLine) {
        DeleteIfPresent(InstallPath(installFolder, kUninstallLogName) + kBackupSuffix, settled);
    }
}

bool IsToolTemporaryName(const std::string& entry, const std::set<std::string>& names) {
    const size_t length = entry.size();
    if (length < kToolSuffixLength + 3 || entry[0] != '.' ||
        entry[length - kToolSuffixLength - 1] != '.')
        return false;
    const auto suffix = entry.end() - static_cast<long>(kToolSuffixLength);
    return std::all_of(suffix, entry.end(), [](unsigned char c) { return std::isalnum(c); }) &&
           names.count(entry.substr(1, length - kToolSuffixLength - 2)) > 0;
}

// The difference tool's named outputs beside the backed-up files, each folder listed once.
int RemoveToolTemporaries(const std::string& installFolder,
                          const std::vector<std::string>& records) {
    std::map<std::string, std::set<std::string>> namesByFolder;
    for (const std::string& line : records) {
        if (line.starts_with(kBackupTag)) {
            const std::string path = InstallPath(installFolder, line.substr(sizeof kBackupTag - 1));
            namesByFolder[ParentFolder(path)].insert(ZephUtil::FileNamePart(path));
        }
    }
    int removed = 0;
    for (const auto& [folder, names] : namesByFolder) {
        std::set<std::string> entries;
        (void)ZephUtil::ListFolder(folder, &entries);  // an unreadable folder has nothing to remove
        for (const std::string& entry : entries) {
            if (IsToolTemporaryName(ZephUtil::FileNamePart(entry), names))
                DeleteIfPresent(entry, &removed);
        }
    }
    return removed;
}

}  // namespace

PatchJournal::PatchJournal(const std::string& installFolder)
    : m_installFolder(installFolder), m_records(ZephUtil::JoinPath(installFolder, kJournalName)) {}

PatchJournal::~PatchJournal() = default;

bool PatchJournal::Record(const std::string& line) {
    m_written.push_back(WrittenPath(m_installFolder, line));
    return m_records.Append(line);
}

bool PatchJournal::RecordBackup(const std::string& relative) {
    return Record(kBackupTag + relative);
}

bool PatchJournal::RecordAdded(const std::string& relative) {
    return Record(kAddedTag + relative);
}

bool PatchJournal::RecordUninstallLog() {
    return Record(kUninstallLogLine);
}

bool PatchJournal::RecordCommit() {
    // Nothing was written yet: no journal, nothing to commit.
    if (!m_records.IsOpen())
        return true;
    // The new files must be on disk before the backups that could replace them are dropped.
    if (!SyncWrittenFiles(m_installFolder, m_written))
        return false;
    return m_records.Append(kCommitLine);
}

bool PatchJournal::Remove() {
    m_records.Close();
    if (!ZephUtil::FileExists(m_records.Path()))
        return true;
    // Whatever was put back or dropped must be on disk before the journal goes.
    if (!SyncWrittenFiles(m_installFolder, m_written) || !ZephUtil::DeleteFileAt(m_records.Path()))
        return false;
    // The journal is gone either way; this only hastens it to the disk.
    (void)SyncDirectory(m_installFolder);
    return true;
}

RecoveryResult RecoverInterruptedPatch(const std::string& installFolder, Reporter& reporter,
                                       RecoveryCounts* counts) {
    const std::string path = ZephUtil::JoinPath(installFolder, kJournalName);
    if (!ZephUtil::FileExists(path))
        return RecoveryResult::kNothing;
    std::vector<std::string> records;
    if (!ReadRecords(path, &records))
        return RecoveryResult::kStuck;

    RecoveryCounts done;
    const bool committed = std::find(records.begin(), records.end(), kCommitLine) != records.end();
    bool settled = true;
    if (committed) {
        for (const std::string& line : records)
            Complete(installFolder, line, &done.filesSettled);
    } else {
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            settled = Undo(installFolder, *it, &done.filesSettled, reporter) && settled;
        }
        // The log's copy is made before the journal names it: one the journal does not name
        // was cut short, and the log itself was never touched.
        if (std::find(records.begin(), records.end(), kUninstallLogLine) == records.end()) {
            DeleteIfPresent(InstallPath(installFolder, kUninstallLogName) + kBackupSuffix,
                            &done.temporariesRemoved);
        }
    }
    DeleteIfPresent(InstallPath(installFolder, kUninstallLogTempName), &done.temporariesRemoved);
    done.temporariesRemoved += RemoveToolTemporaries(installFolder, records);
    if (counts)
        *counts = done;
    // What was put back must be on disk before the journal that could redo it goes.
    if (!settled || !SyncWrittenFiles(installFolder, WrittenPaths(installFolder, records)))
        return RecoveryResult::kStuck;
    // Best effort: a journal that stays is settled again at the next start.
    (void)ZephUtil::DeleteFileAt(path);
    (void)SyncDirectory(installFolder);
    return committed ? RecoveryResult::kCompleted : RecoveryResult::kUndone;
}

}  // namespace ZephPatch
