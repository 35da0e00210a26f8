// The crash-safety journal of one application: a small file in the installation that names
// every backup before it is made, so that an application cut short by a kill or a power loss
// can be undone (or, once committed, completed) by the next one. The formats the product and
// the patch servers see are untouched: the journal lives beside them and is removed after the
// finish steps.
//
// Records, one line each, paths relative to the installation with '/':
//   "backup <path>"   <path> is about to be renamed to <path>.pbk
//   "added <path>"    <path> did not exist and is about to be created
//   "uninstall-log"   the uninstall log was copied to its .pbk and is about to be replaced
//   "commit"          every step succeeded; the backups are only left to be dropped
#pragma once

#include <string>
#include <vector>

#include "kernel/reporter.h"

#include "apply/record_file.h"

namespace ZephPatch {

inline constexpr const char* kJournalName = ".patch-journal";
// Beside it, the installer session's record of its temporary files and folders, which a run
// after a kill removes. A patch may name neither.
inline constexpr const char* kTemporariesRecordName = ".patch-temporaries";
inline constexpr const char* kBackupSuffix = ".pbk";

// Appends records, each flushed to disk before the call returns, so that it is durable
// before the step it announces. REQUIRES: one application of an installation at a time.
class PatchJournal {
public:
    explicit PatchJournal(const std::string& installFolder);
    ~PatchJournal();
    PatchJournal(const PatchJournal&) = delete;
    PatchJournal& operator=(const PatchJournal&) = delete;

    [[nodiscard]] bool RecordBackup(const std::string& relative);
    [[nodiscard]] bool RecordAdded(const std::string& relative);
    [[nodiscard]] bool RecordUninstallLog();
    // Flushes everything the application wrote in the installation, then records the commit.
    [[nodiscard]] bool RecordCommit();
    // Removes the journal; false when it stays.
    [[nodiscard]] bool Remove();

private:
    [[nodiscard]] bool Record(const std::string& line);

    std::string m_installFolder;
    RecordFile m_records;
    std::vector<std::string> m_written;  // the paths the recorded steps write
};

enum class RecoveryResult {
    kNothing,    // no journal
    kUndone,     // an interrupted application was rolled back
    kCompleted,  // a committed application's backups were dropped
    kStuck,      // some backup could not be put back; the journal stays for the next try
};

// What settling an interrupted application changed.
struct RecoveryCounts {
    int filesSettled = 0;        // changes reverted, or backups dropped
    int temporariesRemoved = 0;  // the difference tool's and the uninstall log's temporary files
};

// Settles an application that a journal shows was interrupted: before its commit every
// recorded step is undone, newest first; after it the leftover backups are dropped. Either
// way the temporary files the application may have left are removed: the new uninstall log,
// and the difference tool's output under the name ".<file>.XXXXXX" beside a backed-up <file>
// (six letters or digits; only a file system that cannot keep it nameless shows it).
[[nodiscard]] RecoveryResult RecoverInterruptedPatch(const std::string& installFolder,
                                                     Reporter& reporter,
                                                     RecoveryCounts* counts = nullptr);

}  // namespace ZephPatch
