#include "app/core/elevation.h"

#include <unistd.h>

#include "app/core/on_exit_program.h"
#include "app/core/program_launch.h"
#include "kernel/command_line.h"
#include "kernel/message_catalogue.h"
#include "kernel/system_log.h"
#include "session/patch_rights.h"

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

// Starts the copy and waits for it; false when it never ran.
bool RunElevatedCopy(ShellState& state, const ShellHooks& hooks, const std::string& arguments) {
    const std::string program = ElevationProgram(hooks);
    if (program.empty())
        return false;
    std::vector<std::string> argv = {program, state.executablePath};
    for (std::string& argument : ZephUtil::SplitCommandLine(arguments))
        argv.push_back(std::move(argument));
    pid_t pid = -1;
    int exitCode = -1;
    if (LaunchProgram(argv, &pid) != 0 || !WaitLaunchedProgram(pid, -1, &exitCode) ||
        ElevationRefused(exitCode))
        return false;
    state.elevatedExitCode = exitCode;
    return true;
}

}  // namespace

std::string BuildRelaunchArguments(const ShellState& state, const PatchSettings& settings) {
    std::string text = "--admin ";
    if (settings.repairMode)
        text += "--repair ";
    if (state.debugMode)
        text += "--debug ";
    if (!settings.patchServers.empty()) {
        text += "--server=\"";
        for (size_t i = 0; i < settings.patchServers.size(); ++i)
            text += (i ? ";" : "") + settings.patchServers[i];
        text += "\" ";
    }
    if (!settings.installedBuilds.empty())
        text += settings.installedBuilds.front();
    text += " \"" + settings.installPath + "\"";
    return text;
}

bool RelaunchElevated(ShellState& state, const ShellHooks& hooks) {
    const PatchSettings& settings = GetPatchSettings();
    if (CheckPatchRights(settings.installPath))
        return false;
    const std::string arguments = BuildRelaunchArguments(state, settings);
    ZephUtil::Print("parm: %s", arguments.c_str());
    if (!RunElevatedCopy(state, hooks, arguments))
        hooks.messageBox(LoadMessage(132), LoadMessage(134));
    RunOnExitProgram(state);
    return true;
}

}  // namespace ZephPatch
