// Running the installer again with the rights it lacks.
#pragma once

#include <string>

#include "app/core/shell_state.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// The arguments handed to the elevated copy: "--admin ", "--repair " and "--debug " when set,
// all servers as one value (--server="a;b" ), the current build when known, then the quoted
// installation folder. The copy thus neither asks again nor runs `onexit` (this process does).
std::string BuildRelaunchArguments(const ShellState& state, const PatchSettings& settings);

// `RelaunchElevated`: false when CheckPatchRights passes on the installation (nothing to do).
// Otherwise starts this executable through the elevation program with those arguments, waits
// for the copy to end (its exit code goes to state.elevatedExitCode), shows message 132 with
// caption 134 when the copy could not be started (no elevation program, root already, or the
// user was not authorised), runs the `onexit` program, and returns true: this process ends.
bool RelaunchElevated(ShellState& state, const ShellHooks& hooks);

}  // namespace ZephPatch
