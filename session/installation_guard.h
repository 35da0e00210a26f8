// What an installer does to an installation before anything reads it: take it for this
// process alone, and put right whatever an interrupted run of any installer left there.
#pragma once

#include <string>

#include "kernel/reporter.h"

namespace ZephPatch {

enum class SettleResult {
    kReady,  // the installation is this process's and whole (or cannot be opened at all)
    kInUse,  // another installer holds it; nothing was touched
    kStuck,  // an interrupted patch could not be settled (reported); nothing may be changed
};

// Takes the installation's lock for this process, giving up one held on another installation;
// the kernel releases it when the process ends, however it ends. Then settles what an
// interrupted run left: completes or undoes the patch its journal names (uninstall log
// included), removes that patch's temporary files and the session's recorded temporary files
// and folders, and clears IsPatching once that patch is settled (the mark a failed patch left
// stays). Says in one line at level 2 what was repaired. A folder that cannot be opened is
// left to the caller's checks.
// REQUIRES: one session or start-up check at a time.
[[nodiscard]] SettleResult SettleInstallation(const std::string& installFolder, Reporter& reporter);

// Records a temporary file or folder of the session in the installation held, before it is
// created, so that settling after a kill removes it. False when the record cannot be written;
// true without a record when no installation is held.
[[nodiscard]] bool RecordSessionTemporary(const std::string& path);
// The session has removed what it recorded, or keeps it on purpose: the record goes.
void ForgetSessionTemporaries();

}  // namespace ZephPatch
