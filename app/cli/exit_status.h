// The console installer's exit statuses: what a script can tell from the end of a run.
#pragma once

#include "session/session_outcome.h"

namespace ZephPatch {

enum ExitStatus : int {
    kExitCompleted = 0,      // patched, repaired, or already at the newest build
    kExitFailed = 1,         // a check, a patch or the repair failed
    kExitUsage = 2,          // the command line is wrong, or it asks for nothing to do
    kExitNetwork = 3,        // no patch or repair server could be used, or a download failed
    kExitNotApplicable = 4,  // not an installation, or no patch fits its build
    kExitNoAccess = 5,       // files in use, or no rights to patch
};

// The status of a session that ended with `outcome`; a run stopped by a signal (Ctrl+C,
// hang-up, termination) ends with 128 + `closeSignal` when that is not 0.
[[nodiscard]] int ExitStatusOf(SessionOutcome outcome, int closeSignal);

// The statuses as --help lists them.
extern const char kExitStatusHelp[];

}  // namespace ZephPatch
