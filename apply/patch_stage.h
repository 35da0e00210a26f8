// The stages of one application. Each kind of change (add, delete, patch) is one class that
// runs its list's entries and, in `Finish`, either drops the backups it made or puts every
// file back, so that the undoing of a change lives next to the change.
// Implemented in patch_stage.cpp, add_files.cpp, delete_files.cpp, patch_files.cpp and
// uninstall_log_stage.cpp.
#pragma once

#include <future>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "apply/ordered_entries.h"
#include "apply/patch_journal.h"
#include "apply/patch_list.h"
#include "kernel/reporter.h"

namespace ZephPatch {

// What every stage of one application shares.
struct ApplyContext {
    std::string installFolder;
    std::string patchFolder;
    std::string binFolder;  // ends in '/'
    PatchJournal* journal;
    ProgressSink& reporter;
};

// An installed file moved aside: `backup` is `target` + ".pbk", or empty for a file that did
// not exist before.
struct BackupRecord {
    std::string target;
    std::string backup;
};

class PatchStage {
public:
    explicit PatchStage(ApplyContext& context) : m_context(context) {}
    virtual ~PatchStage() = default;
    PatchStage(const PatchStage&) = delete;
    PatchStage& operator=(const PatchStage&) = delete;

    // Runs the entries in order, asking the reporter whether to go on before each; stops at the
    // first failure. True when every entry succeeded. The slow rest of an entry may overlap the
    // next entries; the last entry starts only once every other one has finished.
    [[nodiscard]] bool Run(const std::vector<PatchListEntry>& entries);

    // Drops the backups when `ok`, else puts every recorded file back, reporting what could
    // not be restored and going on. False when some file could not be put back.
    [[nodiscard]] virtual bool Finish(bool ok);

protected:
    // Before the first entry: queue work ahead on the pool of `ordered`.
    virtual void Prepare(const std::vector<PatchListEntry>&, OrderedEntries&) {}
    // One entry; `relative` is its path below the installation, with '/'. Its journal
    // records and backups are made here, in entry order; only what it hands to
    // `ordered.Defer` runs beside later entries. Its lines go to `reporter`, which holds them
    // for their turn.
    [[nodiscard]] virtual bool Execute(const PatchListEntry& entry, const std::string& relative,
                                       Reporter& reporter, OrderedEntries& ordered) = 0;

    [[nodiscard]] std::string TargetOf(const std::string& relative) const;
    [[nodiscard]] std::string SourceOf(const std::string& relative) const;
    // Creates the target's folder with its parents when missing; reports a failure.
    [[nodiscard]] bool EnsureFolderOf(const std::string& target, Reporter& reporter) const;

    // Moves `relative` aside to its .pbk: deletes a stale .pbk, names the backup in the
    // journal, renames, and records it in this stage's list. False when any step failed.
    [[nodiscard]] bool MoveToBackup(const std::string& relative);
    // Records a file that did not exist, so that undoing removes it again.
    [[nodiscard]] bool RecordNewFile(const std::string& relative);

    ApplyContext& m_context;
    std::vector<BackupRecord> m_backups;
};

// Copies each added file from the patch's "data" folder, over a backup of any file there.
class AddFiles : public PatchStage {
public:
    using PatchStage::PatchStage;

protected:
    [[nodiscard]] bool Execute(const PatchListEntry& entry, const std::string& relative,
                               Reporter& reporter, OrderedEntries& ordered) override;
};

// Moves each deleted file to its backup; it goes for good when the application commits.
class DeleteFiles : public PatchStage {
public:
    using PatchStage::PatchStage;
    [[nodiscard]] bool Finish(bool ok) override;

protected:
    [[nodiscard]] bool Execute(const PatchListEntry& entry, const std::string& relative,
                               Reporter& reporter, OrderedEntries& ordered) override;
};

// Rebuilds each changed file from its backup and a difference file with the patch tool (or
// the asset converter), after its MD5 digest shows which state it is in.
class PatchFiles : public PatchStage {
public:
    using PatchStage::PatchStage;

protected:
    // Reads the digests of the installed files ahead: nothing before an entry changes its file.
    void Prepare(const std::vector<PatchListEntry>& entries, OrderedEntries& ordered) override;
    [[nodiscard]] bool Execute(const PatchListEntry& entry, const std::string& relative,
                               Reporter& reporter, OrderedEntries& ordered) override;

private:
    [[nodiscard]] bool UsesConverter(const std::string& relative) const;

    // By list path; empty when the digest could not be computed.
    std::unordered_map<std::string, std::future<std::optional<std::string>>> m_digests;
};

// Adds the patch's added files to the uninstall log, keeping a copy of the old log until
// the application commits.
class UninstallLogStage {
public:
    explicit UninstallLogStage(ApplyContext& context) : m_context(context) {}
    // `logListed`: the patch itself changes the log, whose backup a list stage then holds.
    [[nodiscard]] bool Run(const std::vector<PatchListEntry>& added, bool logListed);
    [[nodiscard]] bool Finish(bool ok);

private:
    ApplyContext& m_context;
    bool m_backedUp = false;
};

}  // namespace ZephPatch
