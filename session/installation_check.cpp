#include "session/installation_check.h"

#include "kernel/files/file_utils.h"

namespace ZephPatch {

std::string NotAnInstallationText(const std::string& folder) {
    if (folder.empty())
        return "No Velmor installation was given or registered.";
    if (!ZephUtil::IsDirectory(folder))
        return "The folder " + folder + " does not exist.";
    for (const char* program : {"bin/Velmor.exe", "bin/VelmorUtil.exe"}) {
        if (ZephUtil::FileExists(ZephUtil::JoinPath(folder, program)))
            return {};
    }
    return folder +
           " is not a Velmor installation (it has no bin/Velmor.exe or "
           "bin/VelmorUtil.exe).";
}

}  // namespace ZephPatch
