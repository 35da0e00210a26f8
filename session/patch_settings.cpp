#include "session/patch_settings.h"

#include <algorithm>

namespace ZephPatch {

void AddInstalledBuild(PatchSettings& settings, std::string_view build) {
    std::vector<std::string>& builds = settings.installedBuilds;
    if (std::find(builds.begin(), builds.end(), build) == builds.end())
        builds.emplace_back(build);
}

}  // namespace ZephPatch
