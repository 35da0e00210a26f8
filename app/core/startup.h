// The start-up both front ends share: everything between installing the crash handlers and
// opening the main window (or starting the console session).
//
// A front end runs, on its main thread:
//   1. sockets and the socket manager (where it uses them), InstallCrashHandlers;
//   2. RunShellStartup, which gives the run's settings; the front end keeps them to its end
//      and hands them to the check and the session. Without settings, end without step 6's
//      on-exit program (after a relaunch it has run already);
//   3. its window;
//   4. the embedded patch check on state.executablePath;
//   5. ChooseRunMode: start the session at once for repair and download; for none, report
//      MSG_NO_VALID_OPERATION at level 3 (the window disables "Apply Update");
//   6. at exit: RunOnExitProgram, release the socket manager, DisarmCrashHandlers.
#pragma once

#include <optional>
#include <string>

#include "app/core/shell_state.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// Run by the front end after it has installed the crash handlers and before it opens its
// window, on the main thread. In order: notes the executable, names the crash report
// "patcher", repairs quoted arguments, parses the command line (ParseCommandLine), takes the
// installation folder from the registry when none was given, makes a relative one absolute and
// changes to the executable's folder, then checks rights: with `admin` a failed CheckPatchRights
// shows message 132 / caption 134; without it RelaunchElevated may run an elevated copy.
// The settings of this run, or none when this process must end now (rights missing, or the
// copy has run).
[[nodiscard]] std::optional<PatchSettings> RunShellStartup(int argc, const char* const* argv,
                                                           ShellState* state,
                                                           const ShellHooks& hooks);

// What the session will do, decided after the embedded patch check.
enum class RunMode {
    kRepair,      // the `repair` switch: the repair driver
    kDownload,    // at least one patch server: the server patch chain
    kStandalone,  // applicable embedded patches: they are applied when the user asks
    kNone,        // nothing to do: report MSG_NO_VALID_OPERATION at level 3
};

inline constexpr char MSG_NO_VALID_OPERATION[] =
    "No valid patch operation was specified. Patching aborted.";

// Repair and download start the session at once; standalone waits for the user.
[[nodiscard]] RunMode ChooseRunMode(const PatchSettings& settings);

}  // namespace ZephPatch
