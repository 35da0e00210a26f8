// The version every program of this product answers --version with.
#pragma once

#include <string>
#include <string_view>

namespace ZephUtil {

// "PROGRAM VERSION", for example "InstallPatchCLI 1.0.0".
[[nodiscard]] std::string VersionLine(std::string_view program);

}  // namespace ZephUtil
