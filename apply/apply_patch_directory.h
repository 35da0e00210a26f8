// Applies one unpacked patch directory to an installation: adds, deletes and patches files as
// its three lists say, extends the uninstall log, and either keeps all of it or none.
#pragma once

#include <functional>
#include <string>

#include "kernel/reporter.h"

namespace ZephPatch {

// Brings the installation in `installFolder` to the build of the patch in `patchFolder`.
// The first entry of "patchedFiles.txt" whose path contains `lastFile` is patched after all
// others. True when every stage and the uninstall log update succeeded; on false every file
// touched is back as it was. `onCommit` runs when the application has succeeded and is on
// disk, before its backups are dropped: from then on a run after a kill completes the patch
// instead of undoing it. An application interrupted before (a journal is found) is settled
// first. Reports to `reporter`: the entry count, each entry before it runs (false from
// ShouldContinue stops and rolls back) and every message.
// REQUIRES: one application at a time in the process.
[[nodiscard]] bool ApplyPatchDirectory(const std::string& installFolder,
                                       const std::string& patchFolder, const std::string& lastFile,
                                       ProgressSink& reporter,
                                       const std::function<void()>& onCommit = {});

}  // namespace ZephPatch
