// Adds the files a patch brought to the installation's uninstall log, so that uninstalling
// the product removes them too.
#pragma once

#include <string>

#include "kernel/reporter.h"

namespace ZephPatch {

inline constexpr const char* kUninstallLogName = "unins000.dat";
inline constexpr const char* kUninstallLogTempName = "unins000_temp.dat";

// Inserts one delete-file record per entry of the patch folder's "addedFiles.txt" before the
// log's end-install record. The new log is written to "unins000_temp.dat", flushed, and
// renamed over "unins000.dat", so the log is either the old or the new one.
// False only when the new log cannot be written or put in place (the log is then untouched);
// true when there is nothing to add, no log, or a log whose layout is not recognised (left
// unchanged, reported at level 2).
[[nodiscard]] bool UpdateUninstallLog(const std::string& installFolder,
                                      const std::string& patchFolder, Reporter& reporter);

}  // namespace ZephPatch
