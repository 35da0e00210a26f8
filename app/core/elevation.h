// Running the installer again with the rights it lacks.
#pragma once

#include <string>
#include <vector>

#include "app/core/shell_state.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// The arguments handed to the elevated copy: "--admin ", "--repair " and "--debug " when set,
// the front end's own relaunch arguments (each quoted), all servers as one value
// (--server="a;b" ), the current build when known, then the quoted installation folder. The
// copy thus neither asks again nor runs `onexit` (this process does).
[[nodiscard]] std::string BuildRelaunchArguments(const ShellState& state,
                                                 const PatchSettings& settings);

// The command that starts the copy through `elevationProgram`. The elevation program clears
// the environment (pkexec does), so the copy is started through `env` with what it needs from
// this one: the display and its authority (XAUTHORITY, or ~/.Xauthority when that is unset but
// present), the registry root, the temporary folders and the language.
[[nodiscard]] std::vector<std::string> BuildElevatedCommand(const std::string& elevationProgram,
                                                            const ShellState& state,
                                                            const PatchSettings& settings);

// `RelaunchElevated`: false when CheckPatchRights passes on the installation of `settings`
// (nothing to do).
// Otherwise starts this executable through the elevation program with that command, waits for
// the copy to end (its exit code goes to state.elevatedExitCode), shows the rights message
// (this system's wording of 132 / 134) when the copy could not be started (no elevation
// program, root already, or the user was not authorised), runs the `onexit` program, and
// returns true: this process ends.
[[nodiscard]] bool RelaunchElevated(ShellState& state, const PatchSettings& settings,
                                    const ShellHooks& hooks);

}  // namespace ZephPatch
