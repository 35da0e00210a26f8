#include "apply/patch_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "apply/callbacks.h"
#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/patch_list.h"
#include "apply/uninstall_log.h"
#include "kernel/file_utils.h"

namespace ZephPatch {
namespace {

constexpr const char kBackupTag[] = "backup ";
constexpr const char kAddedTag[] = "added ";
constexpr const char kUninstallLogLine[] = "uninstall-log";
constexpr const char kCommitLine[] = "commit";

std::string InstallPath(const std::string& installFolder, const std::string& relative) {
    return ZephUtil::JoinPath(installFolder, relative);
}

// Puts `target` back from its backup when the backup exists; a missing backup means the
// rename never happened or was already undone. False when the file could not be put back.
bool RestoreIfBackedUp(const std::string& target) {
    const std::string backup = target + kBackupSuffix;
    if (!ZephUtil::FileExists(backup))
        return true;
    if (ZephUtil::FileExists(target) && !ZephUtil::DeleteFileAt(target))
        return false;
    return RenameFile(backup, target);
}

bool DeleteIfPresent(const std::string& path) {
    return !ZephUtil::FileExists(path) || ZephUtil::DeleteFileAt(path);
}

// Undoes one record; false when a file could not be put back (reported).
bool Undo(const std::string& installFolder, const std::string& line) {
    bool done = true;
    std::string target;
    if (line.starts_with(kBackupTag)) {
        target = InstallPath(installFolder, line.substr(sizeof kBackupTag - 1));
        done = RestoreIfBackedUp(target);
    } else if (line.starts_with(kAddedTag)) {
        target = InstallPath(installFolder, line.substr(sizeof kAddedTag - 1));
        done = DeleteIfPresent(target);
    } else if (line == kUninstallLogLine) {
        target = InstallPath(installFolder, kUninstallLogName);
        DeleteIfPresent(InstallPath(installFolder, kUninstallLogTempName));
        done = RestoreIfBackedUp(target);
    }
    if (!done) {
        Report(kLevelError, [&] { return FormatMessage(kTextFailedToRestore, target); });
    }
    return done;
}

// Drops what a committed application left behind.
void Complete(const std::string& installFolder, const std::string& line) {
    if (line.starts_with(kBackupTag)) {
        ZephUtil::DeleteFileAt(InstallPath(installFolder, line.substr(sizeof kBackupTag - 1)) +
                               kBackupSuffix);
    } else if (line == kUninstallLogLine) {
        ZephUtil::DeleteFileAt(InstallPath(installFolder, kUninstallLogName) +
                               std::string(kBackupSuffix));
        ZephUtil::DeleteFileAt(InstallPath(installFolder, kUninstallLogTempName));
    }
}

// The complete lines of the journal: a line cut short by the interruption was never acted on.
bool ReadRecords(const std::string& path, std::vector<std::string>* records) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes))
        return false;
    std::string text(bytes.begin(), bytes.end());
    const size_t lastEnd = text.rfind('\n');
    text.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    *records = SplitLines(text);
    return true;
}

}  // namespace

PatchJournal::PatchJournal(const std::string& installFolder)
    : m_installFolder(installFolder), m_path(ZephUtil::JoinPath(installFolder, kJournalName)) {}

PatchJournal::~PatchJournal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PatchJournal::RecordBackup(const std::string& relative) {
    return Append(kBackupTag + relative);
}

bool PatchJournal::RecordAdded(const std::string& relative) {
    return Append(kAddedTag + relative);
}

bool PatchJournal::RecordUninstallLog() {
    return Append(kUninstallLogLine);
}

bool PatchJournal::RecordCommit() {
    // Nothing was written yet: no journal, nothing to commit.
    if (m_fd < 0)
        return true;
    // The new files must be on disk before the backups that could replace them are dropped.
    if (!SyncFileSystem(m_installFolder))
        return false;
    return Append(kCommitLine);
}

bool PatchJournal::Remove() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!ZephUtil::FileExists(m_path))
        return true;
    // Whatever was put back or dropped must be on disk before the journal goes.
    if (!SyncFileSystem(m_installFolder) || !ZephUtil::DeleteFileAt(m_path))
        return false;
    SyncDirectory(m_installFolder);
    return true;
}

bool PatchJournal::Append(const std::string& line) {
    if (m_fd < 0) {
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (m_fd < 0)
            return false;
        // The journal's own name must survive a power loss as well as its records.
        if (!SyncDirectory(m_installFolder))
            return false;
    }
    const std::string record = line + "\n";
    size_t done = 0;
    while (done < record.size()) {
        const ssize_t written = ::write(m_fd, record.data() + done, record.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return ::fsync(m_fd) == 0;
}

RecoveryResult RecoverInterruptedPatch(const std::string& installFolder) {
    const std::string path = ZephUtil::JoinPath(installFolder, kJournalName);
    if (!ZephUtil::FileExists(path))
        return RecoveryResult::kNothing;
    std::vector<std::string> records;
    if (!ReadRecords(path, &records))
        return RecoveryResult::kStuck;

    bool committed = false;
    for (const std::string& line : records)
        committed = committed || line == kCommitLine;
    bool settled = true;
    if (committed) {
        for (const std::string& line : records)
            Complete(installFolder, line);
    } else {
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            settled = Undo(installFolder, *it) && settled;
        }
        // The log's copy is made before the journal names it: one the journal does not name
        // was cut short, and the log itself was never touched.
        if (std::find(records.begin(), records.end(), kUninstallLogLine) == records.end()) {
            DeleteIfPresent(InstallPath(installFolder, kUninstallLogName) + kBackupSuffix);
        }
    }
    // What was put back must be on disk before the journal that could redo it goes.
    if (!settled || !SyncFileSystem(installFolder))
        return RecoveryResult::kStuck;
    ZephUtil::DeleteFileAt(path);
    SyncDirectory(installFolder);
    return committed ? RecoveryResult::kCompleted : RecoveryResult::kUndone;
}

}  // namespace ZephPatch
