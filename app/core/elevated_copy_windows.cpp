#include <windows.h>

#include <shellapi.h>

#include "app/core/elevated_copy.h"
#include "app/core/elevation.h"
#include "app/core/program_launch.h"
#include "kernel/system/wide_text.h"

namespace ZephPatch {

// The shell asks the user (or the administrator) for the rights; the copy gets the arguments
// as one text, exactly as built.
bool RunElevatedCopy(ShellState& state, const PatchSettings& settings, const ShellHooks&) {
    const std::wstring file = ZephUtil::ToWide(state.executablePath);
    const std::wstring parameters = ZephUtil::ToWide(BuildRelaunchArguments(state, settings));
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info) || !info.hProcess)
        return false;
    LaunchedProgram copy(reinterpret_cast<intptr_t>(info.hProcess));
    int exitCode = -1;
    if (!copy.Wait(-1, &exitCode))
        return false;
    state.elevatedExitCode = exitCode;
    return true;
}

}  // namespace ZephPatch
