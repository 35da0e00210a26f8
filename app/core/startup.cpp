#include "app/core/startup.h"

#include "app/core/elevation.h"
#include "app/core/patcher_options.h"
#include "app/core/product_install_path.h"
#include "app/core/program_folder.h"
#include "kernel/crash/crash.h"
#include "kernel/log/system_log.h"
#include "kernel/messages/message_catalogue.h"
#include "session/patch_rights.h"
#include "session/product_registry.h"
#include "session/session_messages.h"

namespace ZephPatch {
namespace {

// The working folder is about to change: a folder named relative to where the user started us
// must keep meaning that folder (also for the elevated copy, which starts elsewhere).
void MakeInstallPathAbsolute(std::string& installPath) {
    if (!installPath.empty() && !IsAbsolutePath(installPath))
        installPath = CurrentFolder() + "/" + installPath;
}

bool HasRights(ShellState& state, const PatchSettings& settings, const ShellHooks& hooks) {
    if (state.adminGiven) {
        if (CheckPatchRights(settings.installPath))
            return true;
        hooks.messageBox(LoadMessage(kMsgRequiresAdminText), LoadMessage(kMsgRequiresAdminCaption));
        return false;
    }
    return !RelaunchElevated(state, settings, hooks);
}

}  // namespace

std::optional<PatchSettings> RunShellStartup(int argc, const char* const* argv, ShellState* state,
                                             const ShellHooks& hooks) {
    state->arguments.assign(argv, argv + argc);
    state->executablePath = ExecutablePath(argc > 0 ? argv[0] : "");
    ZephUtil::SetToolkitDumpName("patcher");
    RepairQuotedArguments(state->arguments);
    PatchSettings settings;
    // A failed parse has said why; the registry may still name the installation.
    (void)ParseCommandLine(*state, settings, hooks);

    if (settings.installPath.empty())
        settings.installPath = FindProductInstallPath(PRODUCT_KEY, PRODUCT_CLASS);
    MakeInstallPathAbsolute(settings.installPath);
    const std::string folder =
        state->executablePath.substr(0, state->executablePath.find_last_of("/\\") + 1);
    if (!folder.empty() && !ChangeCurrentFolder(folder))
        ZephUtil::Print("RunShellStartup> cannot change to %s", folder.c_str());
    if (!HasRights(*state, settings, hooks))
        return std::nullopt;
    return settings;
}

RunMode ChooseRunMode(const PatchSettings& settings) {
    if (settings.repairMode)
        return RunMode::kRepair;
    if (!settings.patchServers.empty())
        return RunMode::kDownload;
    if (settings.localPatchesReady)
        return RunMode::kStandalone;
    return RunMode::kNone;
}

}  // namespace ZephPatch
