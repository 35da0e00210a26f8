#include "app/core/elevation.h"

#include "app/core/elevated_copy.h"
#include "app/core/on_exit_program.h"
#include "kernel/log/system_log.h"
#include "kernel/messages/message_catalogue.h"
#include "session/patch_rights.h"
#include "session/session_messages.h"

namespace ZephPatch {

std::string BuildRelaunchArguments(const ShellState& state, const PatchSettings& settings) {
    std::string text = "--admin ";
    if (settings.repairMode)
        text += "--repair ";
    if (state.debugMode)
        text += "--debug ";
    for (const std::string& argument : state.relaunchArguments)
        text += "\"" + argument + "\" ";
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

bool RelaunchElevated(ShellState& state, const PatchSettings& settings, const ShellHooks& hooks) {
    if (CheckPatchRights(settings.installPath))
        return false;
    ZephUtil::Print("parm: %s", BuildRelaunchArguments(state, settings).c_str());
    if (!RunElevatedCopy(state, settings, hooks))
        hooks.messageBox(LoadMessage(kMsgRequiresAdminText), LoadMessage(kMsgRequiresAdminCaption));
    RunOnExitProgram(state);
    return true;
}

}  // namespace ZephPatch
