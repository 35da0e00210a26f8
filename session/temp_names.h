// Where a session puts its temporary files: the copied-out patch archive and the folders it is
// unpacked into. Both are recorded in the installation held (RecordSessionTemporary) before
// they exist, so that a run after a kill removes them.
#pragma once

#include <cstdint>
#include <string>

#include "session/patch_settings.h"

namespace ZephPatch {

// `MakeTempPatchFileName`: <temporary folder>/<current build>_to_<target build>.zip, the
// builds those of `settings`, the temporary folder (TempFolder) created when missing. False
// when a build holds a separator, the folder cannot be created or the name cannot be recorded.
[[nodiscard]] bool MakeTempPatchFileName(const PatchSettings& settings, std::string* fileName);

// `MakeUniqueTempDir`: an empty `folder` becomes the temporary folder; then `folder` is
// replaced by a new unique folder inside it, created with its parents. On failure `folder`
// is the temporary folder and the result false.
[[nodiscard]] bool MakeUniqueTempDir(std::string* folder);

// `GetFreeSpace` (named apart from the macro of that name in <windows.h>): the bytes free to this
// process on the file system of `folder`. False for an empty name or when the system cannot tell.
[[nodiscard]] bool GetFolderFreeSpace(const std::string& folder, uint64_t* bytes);

}  // namespace ZephPatch
