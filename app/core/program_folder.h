// Where this program lives and runs. Implemented in program_folder_posix.cpp and
// program_folder_windows.cpp.
#pragma once

#include <string>

namespace ZephPatch {

// The absolute path of this program's executable; `argv0` made absolute when the system
// cannot tell.
[[nodiscard]] std::string ExecutablePath(const std::string& argv0);
// The current folder; empty when the system cannot tell.
[[nodiscard]] std::string CurrentFolder();
[[nodiscard]] bool ChangeCurrentFolder(const std::string& folder);
// Whether `path` names its place without the current folder (Windows: with a drive or as a
// network path).
[[nodiscard]] bool IsAbsolutePath(const std::string& path);

}  // namespace ZephPatch
