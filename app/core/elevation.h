// Running the installer again with the rights it lacks.
#pragma once

#include <string>

#include "app/core/shell_state.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// The arguments handed to the elevated copy: "--admin ", "--repair " and "--debug " when set,
// the front end's own relaunch arguments (each quoted), all servers as one value
// (--server="a;b" ), the current build when known, then the quoted installation folder. The
// copy thus neither asks again nor runs `onexit` (this process does).
[[nodiscard]] std::string BuildRelaunchArguments(const ShellState& state,
                                                 const PatchSettings& settings);

// `RelaunchElevated`: false when CheckPatchRights passes on the installation of `settings`
// (nothing to do). Otherwise runs the elevated copy (RunElevatedCopy), shows the rights message
// (kMsgRequiresAdminText / kMsgRequiresAdminCaption) when it never ran, runs the `onexit`
// program, and returns true: this process ends.
[[nodiscard]] bool RelaunchElevated(ShellState& state, const PatchSettings& settings,
                                    const ShellHooks& hooks);

}  // namespace ZephPatch
