// The system's side of the rights test (CheckPatchRights). Implemented in
// patch_rights_posix.cpp and patch_rights_windows.cpp.
#pragma once

#include <string>

namespace ZephPatch {

// "bin/Velmor.exe" below `installPath`, when present, opens for reading and writing (and is
// closed again unchanged): false when it is read-only, not ours to write or, where the
// system says so, in use.
[[nodiscard]] bool ProductExecutableWritable(const std::string& installPath);
// True unless `installPath` is an existing folder in which this process may not create files.
[[nodiscard]] bool InstallationWritable(const std::string& installPath);

}  // namespace ZephPatch
