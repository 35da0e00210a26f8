#include "session/patch_settings.h"

#include <algorithm>

namespace ZephPatch {

void AddInstalledBuild(PatchSettings& settings, const std::string& build) {
    auto& builds = settings.installedBuilds;
    if (std::find(builds.begin(), builds.end(), build) == builds.end())
        builds.push_back(build);
}

}  // namespace ZephPatch
