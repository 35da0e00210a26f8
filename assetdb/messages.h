// The user texts of the asset-database steps. They have no catalogue id: they are shown in
// English whatever the language.
#pragma once

namespace ZephPatch {

inline constexpr const char* kMsgUpdatingAssetDatabase =
    "\nUpdating Velmor asset database... (this may take several minutes)";
inline constexpr const char* kMsgRepairLaunchFailed =
    "Failed to launch VelmorUtil to repair the Velmor asset database.\n"
    "Please repair the database manually from Content Manager.";

}  // namespace ZephPatch
