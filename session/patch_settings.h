// What this run of the installer is about: the installation, its builds, the target and the
// patch servers. One process-wide object, filled on the main thread before the patch worker
// starts and only read while it runs (no lock).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ZephPatch {

struct PatchSettings {
    // Installation folder (UTF-8): from the command line, else the registry, else the user.
    std::string installPath;
    // Installed build numbers; the first is the current build.
    std::vector<std::string> installedBuilds;
    // The build the embedded patch set reaches.
    std::string targetBuild;
    // The `repair` switch was given.
    bool repairMode = false;
    // Applicable embedded patches were found.
    bool localPatchesReady = false;
    // Patch server base addresses, in the order given.
    std::vector<std::string> patchServers;
};

// The process-wide settings, created at first use and never destroyed. REQUIRES: written only
// while no patch worker runs.
PatchSettings& GetPatchSettings();

// Appends `build` to installedBuilds unless an equal entry (exact, case-sensitive) is there.
void AddInstalledBuild(std::string_view build);

}  // namespace ZephPatch
