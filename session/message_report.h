// How the session hands user-visible lines to whoever shows them.
#pragma once

#include <functional>
#include <string>

namespace ZephPatch {

enum MessageLevel : int {
    kLevelDetail = 0,  // progress detail, shown in debug mode only
    kLevelStep = 1,
    kLevelInfo = 2,
    kLevelError = 3,
};

// One line of UTF-8 text at a level; may be empty (no one listens).
using MessageReport = std::function<void(int level, const std::string& text)>;

}  // namespace ZephPatch
