// What this run of the installer is about: the installation, its builds, the target and the
// patch servers. The start-up fills one value on the main thread; the front end owns it for
// the program's lifetime and hands it by reference to the session, which advances the builds
// and the target on its worker while the window only reads the installation (no lock).
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

// Appends `build` to installedBuilds unless an equal entry (exact, case-sensitive) is there.
void AddInstalledBuild(PatchSettings& settings, std::string_view build);

}  // namespace ZephPatch
