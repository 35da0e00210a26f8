// Whether a folder holds an installation of the product, so that a wrong folder is named as
// such instead of failing later as files in use or a patch that does not fit.
#pragma once

#include <string>

namespace ZephPatch {

// The empty text when `folder` exists and holds the product's program or its utility
// ("bin/Velmor.exe" or "bin/VelmorUtil.exe"); otherwise the line that tells the user so.
[[nodiscard]] std::string NotAnInstallationText(const std::string& folder);

}  // namespace ZephPatch
