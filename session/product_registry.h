// The registry locations of the product and of this installer (below the machine root).
#pragma once

namespace ZephPatch {

// Created if missing and opened for write as the rights test.
inline constexpr char ORVIK_KEY[] = "Software\\Orvik";
// One subkey per product; each names its class and installation folder.
inline constexpr char PRODUCTS_KEY[] = "SOFTWARE\\Orvik\\Products\\";
inline constexpr char PRODUCT_KEY[] = "VelmorSimulator";
inline constexpr char PRODUCT_CLASS[] = "Velmor";
inline constexpr char PRODUCT_CLASS_VALUE[] = "ProductClass";
inline constexpr char PRODUCT_INSTALL_PATH_VALUE[] = "ProductInstallPath";
// Holds IsPatching (REG_DWORD 1) while a patch is being applied and after one failed.
inline constexpr char PATCHING_FLAG_KEY[] = "Software\\Orvik\\Products\\VelmorSimulator";
inline constexpr char PATCHING_FLAG_VALUE[] = "IsPatching";

}  // namespace ZephPatch
