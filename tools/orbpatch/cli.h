#pragma once

namespace OrbPatch {

// Name under which the installer runs the tool from the product's bin folder; under that name
// the program only applies, with the arguments OLD DIFF OUT.
inline constexpr const char* INSTALLER_TOOL_NAME = "orbpatchl-w32.exe";

// The whole program: picks the command from the program name or the first argument, runs it,
// prints one diagnostic line on failure and returns the exit code.
[[nodiscard]] int RunOrbPatch(int argc, char** argv);

}  // namespace OrbPatch
