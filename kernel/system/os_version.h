// The facts about the running system that decide whether the product may be patched here.
// Implemented in os_version_posix.cpp and os_version_windows.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace ZephUtil {

struct SystemVersion {
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t servicePackMajor = 0;
};

// The running Windows' version as the system itself reports it (no compatibility shim changes
// it); all 0 on a system that is no Windows.
[[nodiscard]] SystemVersion QuerySystemVersion();

// Whether the system's library `name` (for example "D3dx9_42.dll") loads; it is released again.
// True on a system that is no Windows, which has no such libraries to miss.
[[nodiscard]] bool SystemLibraryLoads(const std::string& name);

}  // namespace ZephUtil
