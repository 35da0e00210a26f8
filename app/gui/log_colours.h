// The colour of a log line by its message level.
#pragma once

#include <wx/colour.h>

namespace ZephPatch {

// 0 progress detail: dark blue; 1 step or result: black; 2 secondary information: grey;
// 3 error: red. Any other level is shown as a step.
wxColour LevelColour(int level);

}  // namespace ZephPatch
