// Starting this executable again with the rights it lacks: the system's side of
// RelaunchElevated. Implemented in elevated_copy_posix.cpp and elevated_copy_windows.cpp.
#pragma once

#include "app/core/shell_state.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// Starts the copy with BuildRelaunchArguments and waits for it to end; its exit code goes to
// state.elevatedExitCode. False when it never ran: the user declined, was not authorised, or
// the system has no way to elevate. Linux: through hooks.elevationProgram (else pkexec from
// PATH when not root). Windows: the shell's "runas" verb.
[[nodiscard]] bool RunElevatedCopy(ShellState& state, const PatchSettings& settings,
                                   const ShellHooks& hooks);

}  // namespace ZephPatch
