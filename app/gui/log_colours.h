// The colour of a log line by its message level.
#pragma once

#include <wx/colour.h>

#include "kernel/reporter.h"

namespace ZephPatch {

// Progress detail: dark blue; step or result: black; secondary information: grey; error: red.
[[nodiscard]] wxColour LevelColour(ReportLevel level);

}  // namespace ZephPatch
