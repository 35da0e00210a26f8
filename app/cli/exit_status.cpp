#include "app/cli/exit_status.h"

namespace ZephPatch {
namespace {

constexpr int kSignalBase = 128;

}  // namespace

const char kExitStatusHelp[] =
    "Exit status:\n"
    "  0    patched, repaired, or already at the newest build\n"
    "  1    a check, a patch or the repair failed (no patch is left half applied)\n"
    "  2    wrong command line, or nothing to do (no server, no --repair, no patches carried)\n"
    "  3    no patch or repair server could be used, or a download failed\n"
    "  4    not a Velmor installation, or no patch fits its build\n"
    "  5    the Velmor files are in use, or no rights to change them\n"
    "  130  stopped with Ctrl+C (129 hang-up, 143 terminated)\n";

int ExitStatusOf(SessionOutcome outcome, int closeSignal) {
    if (outcome == SessionOutcome::kCompleted)
        return kExitCompleted;
    if (closeSignal != 0)
        return kSignalBase + closeSignal;
    switch (outcome) {
        case SessionOutcome::kNetworkFailed:
            return kExitNetwork;
        case SessionOutcome::kNotInstallation:
            return kExitNotApplicable;
        case SessionOutcome::kFilesInUse:
        case SessionOutcome::kNoRights:
            return kExitNoAccess;
        default:
            return kExitFailed;
    }
}

}  // namespace ZephPatch
