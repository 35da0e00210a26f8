// Exclusion patterns of the summary scan.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ZephPatch {

// True when a pattern covers the whole path without its segment suffix. '*' stands for any
// run of characters (none included); every other character, '?' too, stands for itself,
// compared case-sensitively.
[[nodiscard]] bool MatchesAnyPattern(std::string_view path,
                                     const std::vector<std::string>& patterns);

}  // namespace ZephPatch
