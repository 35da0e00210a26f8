// The installer's command line: its ten options and how they fill the shell state and the
// settings.
#pragma once

#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/core/shell_state.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// help, admin, current, list, server, final, target, repair, onexit, debug; help texts from
// the message catalogue in the current language.
[[nodiscard]] std::vector<CmdLineEntry> PatcherOptionTable();

// A quoted folder ending in a backslash ("C:\dir\") reaches a Windows-style program as the
// folder followed by a double quote: drops the final '"' of every argument ending in '\' '"'.
void RepairQuotedArguments(std::vector<std::string>& arguments);

// `ParseCommandLine`: parses state.arguments into `state` and `settings`. On a syntax error shows
// the error and the usage text and returns false with nothing recorded. Otherwise shows the usage
// for `help`, records onexit, debug and repair, and returns false when there is no positional
// parameter: `server`, `list` and `admin` then count for nothing. One parameter is the installation
// folder; with two the first is the current build. A `server` value nothing could be taken from is
// reported with 135, an unreadable or empty `list` file with 136 (level 3). The value of `final` is
// not used.
[[nodiscard]] bool ParseCommandLine(ShellState& state, PatchSettings& settings,
                                    const ShellHooks& hooks);

}  // namespace ZephPatch
