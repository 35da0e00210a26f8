// The one call under the output files that differs by platform. A failure leaves the reason in
// errno, as the POSIX call does, so that messages read the same everywhere.
#pragma once

#include <string>

namespace ZephPack {

// Gives the file `from` the new name `to` as well, never taking the place of a file that
// appeared there meanwhile (the caller removes `from` afterwards).
[[nodiscard]] bool AddNewName(const std::string& from, const std::string& to);

}  // namespace ZephPack
