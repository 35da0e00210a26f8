// Collecting the patch servers of a download run from the command line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "session/patch_settings.h"

namespace ZephPatch {

// Adds the server address(es) in `value` to `settings.patchServers`: a value holding
// several addresses joined by ';' (as the elevated relaunch passes them) gives one entry each;
// blanks around an address are dropped. False when `value` holds no address at all.
[[nodiscard]] bool AddPatchServer(PatchSettings& settings, std::string_view value);

// A list names a few servers; anything longer (a device that never ends) is refused.
inline constexpr size_t kMaxServerListBytes = 64 * 1024;

// Offers every line of the text file `fileName` (UTF-8, LF or CR LF, blank lines skipped) to
// AddPatchServer. False, with no server added, when the file cannot be read or holds more than
// kMaxServerListBytes; false when no line gave a server.
[[nodiscard]] bool ReadPatchServerList(PatchSettings& settings, const std::string& fileName);

}  // namespace ZephPatch
