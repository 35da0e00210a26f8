// Applies one unpacked patch directory to an installation: adds, deletes and patches files as
// its three lists say, extends the uninstall log, and either keeps all of it or none.
#pragma once

#include <string>

namespace ZephPatch {

// Brings the installation in `installFolder` to the build of the patch in `patchFolder`.
// The first entry of "patchedFiles.txt" whose path contains `lastFile` is patched after all
// others. True when every stage and the uninstall log update succeeded; on false every file
// touched is back as it was. An application interrupted before (a journal is found) is
// settled first. Reports through the callbacks of callbacks.h.
// REQUIRES: one application at a time in the process.
bool ApplyPatchDirectory(const std::string& installFolder, const std::string& patchFolder,
                         const std::string& lastFile);

}  // namespace ZephPatch
