#include <unistd.h>

#include <cstdlib>

#include "app/core/elevated_copy.h"
#include "app/core/elevation.h"
#include "app/core/program_launch.h"
#include "kernel/system/command_line.h"

namespace ZephPatch {
namespace {

// pkexec's own failures: 126 the user dismissed the dialog, 127 not authorised or no agent.
bool ElevationRefused(int exitCode) {
    return exitCode == 126 || exitCode == 127;
}

std::string ElevationProgram(const ShellHooks& hooks) {
    if (!hooks.elevationProgram.empty())
        return hooks.elevationProgram;
    return geteuid() == 0 ? std::string() : FindProgramOnPath("pkexec");
}

// What the copy needs of this process's environment, as NAME=value.
std::vector<std::string> PassedEnvironment() {
    static const char* const kNames[] = {"DISPLAY",  "XAUTHORITY", "ORVIK_REGISTRY_ROOT",
                                         "TEMP",     "TMPDIR",     "LANG",
                                         "LANGUAGE", "LC_ALL",     "LC_MESSAGES"};
    std::vector<std::string> passed;
    for (const char* name : kNames) {
        const char* value = std::getenv(name);
        if (value && *value)
            passed.push_back(std::string(name) + "=" + value);
    }
    // Without XAUTHORITY the display's cookie is in the user's home, which root's is not.
    const char* home = std::getenv("HOME");
    const std::string cookie = home ? std::string(home) + "/.Xauthority" : std::string();
    if (!std::getenv("XAUTHORITY") && std::getenv("DISPLAY") && home &&
        access(cookie.c_str(), R_OK) == 0)
        passed.push_back("XAUTHORITY=" + cookie);
    return passed;
}

// The command that starts the copy through `elevationProgram`. The elevation program clears
// the environment (pkexec does), so the copy is started through `env` with what it needs from
// this one: the display and its authority (XAUTHORITY, or ~/.Xauthority when that is unset but
// present), the registry root, the temporary folders and the language.
std::vector<std::string> BuildElevatedCommand(const std::string& elevationProgram,
                                              const ShellState& state,
                                              const PatchSettings& settings) {
    std::string env = FindProgramOnPath("env");
    std::vector<std::string> argv = {elevationProgram, env.empty() ? "/usr/bin/env" : env};
    for (std::string& variable : PassedEnvironment())
        argv.push_back(std::move(variable));
    argv.push_back(state.executablePath);
    for (std::string& argument :
         ZephUtil::SplitCommandLine(BuildRelaunchArguments(state, settings)))
        argv.push_back(std::move(argument));
    return argv;
}

}  // namespace

bool RunElevatedCopy(ShellState& state, const PatchSettings& settings, const ShellHooks& hooks) {
    const std::string program = ElevationProgram(hooks);
    if (program.empty())
        return false;
    const std::vector<std::string> argv = BuildElevatedCommand(program, state, settings);
    LaunchedProgram copy;
    int exitCode = -1;
    if (LaunchProgram(argv, &copy) != 0 || !copy.Wait(-1, &exitCode) || ElevationRefused(exitCode))
        return false;
    state.elevatedExitCode = exitCode;
    return true;
}

}  // namespace ZephPatch
