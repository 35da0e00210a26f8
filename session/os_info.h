// The facts about the operating system that decide whether this product may be patched here.
#pragma once

#include <cstdint>

namespace ZephPatch {

// The Windows version and whether the product's DirectX library loads. This system is no
// Windows: the version is 0.0 and DirectX counts as present, so both tests pass; tests set
// other values to reach the refusals.
struct OsInfo {
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t servicePackMajor = 0;
    bool directXAvailable = true;
};

// Windows XP (5.1) before service pack 3.
[[nodiscard]] bool NeedsServicePack(const OsInfo& os);

}  // namespace ZephPatch
