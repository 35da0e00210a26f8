// How the session's build list and embedded check hand user-visible lines to whoever shows
// them, until they report through the process-wide message sink.
#pragma once

#include <functional>
#include <string>

namespace ZephPatch {

// Levels as the message sink takes them.
inline constexpr int kReportDetail = 0;  // progress detail, shown in debug mode only
inline constexpr int kReportStep = 1;
inline constexpr int kReportSecondary = 2;
inline constexpr int kReportError = 3;

// One line of UTF-8 text at a level; may be empty (no one listens).
using MessageReport = std::function<void(int level, const std::string& text)>;

}  // namespace ZephPatch
