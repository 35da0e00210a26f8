// The registry mark of a patch in progress, so that the product can tell an interrupted
// installation.
#pragma once

namespace ZephPatch {

// Sets IsPatching = 1 in the product's key. False when the key is missing, cannot be opened for
// write, or the value cannot be written.
[[nodiscard]] bool SetPatchingFlag();
// Deletes IsPatching. False when the key cannot be opened for write or there is no such value.
[[nodiscard]] bool ClearPatchingFlag();

}  // namespace ZephPatch
