// The installed builds: asked from the product's utility, kept in `installedBuilds` of the
// run's `PatchSettings`, whose first entry is the current build. Builds are compared as text.
// REQUIRES: no other thread writes the settings meanwhile.
#pragma once

#include <string>

#include "kernel/reporter.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// `ListBuilds`: runs the utility with "listbuilds", reads the build list file it writes
// ("46957,48249,"; text after the last comma is ignored), appends the builds, deletes the
// file and asks the utility to close the asset-database daemon. True when a build was read;
// a utility that cannot start or a missing file leaves the list alone and gives false.
[[nodiscard]] bool ListBuilds(const std::string& utilityPath, const std::string& buildListPath,
                              PatchSettings& settings, Reporter& reporter);

// `CurrentBuild`: the first installed build, or empty.
[[nodiscard]] std::string CurrentBuild(const PatchSettings& settings);
// `DropCurrentBuild`: removes the first entry; whether entries remain (false, unchanged, when
// the list was empty).
[[nodiscard]] bool DropCurrentBuild(PatchSettings& settings);
// `MakeCurrentBuild`: removes every entry equal to the build and puts it first.
void MakeCurrentBuild(PatchSettings& settings, const std::string& build);
// The installed builds, each followed by one space, for the "Getting next version" line.
[[nodiscard]] std::string InstalledBuildsText(const PatchSettings& settings);

}  // namespace ZephPatch
