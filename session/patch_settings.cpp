#include "session/patch_settings.h"

#include <algorithm>

namespace ZephPatch {

PatchSettings& GetPatchSettings() {
    // Never destroyed: threads that outlive main may still read it during exit.
    static PatchSettings* settings = new PatchSettings();
    return *settings;
}

void AddInstalledBuild(std::string_view build) {
    std::vector<std::string>& builds = GetPatchSettings().installedBuilds;
    if (std::find(builds.begin(), builds.end(), build) == builds.end())
        builds.emplace_back(build);
}

}  // namespace ZephPatch
