// Permission bits of the files an installation gets. The patch and repair formats carry no
// modes, so a replaced file keeps the mode of the one it replaces, and a new file follows one
// rule: it is a program, and executable, when its content starts with "#!" or the ELF magic,
// or when it is a ".exe" in the installation's "bin" folder (the product's programs, which the
// installer and the product start by those names).
#pragma once

#include <string>
#include <string_view>

namespace ZephUtil {

// Gives `to` the permission bits of `from`. True when done.
[[nodiscard]] bool CopyPermissions(const std::string& from, const std::string& to);

// A new file's mode by that rule: the new file at `path`, `relativeName` below the
// installation ('/' or '\\' separators), gets the execute bits where it has read bits (0644
// becomes 0755) when it is a program; otherwise it stays as created.
void ApplyNewFileMode(const std::string& path, std::string_view relativeName);

}  // namespace ZephUtil
