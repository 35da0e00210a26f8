// `PatchSettings`: what the installer knows about the installation it patches.
#pragma once

#include <string>
#include <vector>

namespace ZephPatch {

struct PatchSettings {
    std::string installPath;                   // installation directory, UTF-8
    std::vector<std::string> installedBuilds;  // first entry = current build; no duplicates
    std::string targetBuild;                   // build reached by the embedded patch set
    bool repairMode = false;
    bool localPatchesReady = false;
    std::vector<std::string> patchServers;
};

// `AddInstalledBuild`: appends the build unless an equal entry (exact text) is there.
void AddInstalledBuild(PatchSettings& settings, const std::string& build);

}  // namespace ZephPatch
