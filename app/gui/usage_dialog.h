// The usage text in a box of its own, in a fixed-width font so that its columns line up.
#pragma once

#include <wx/string.h>

namespace ZephPatch {

// Shows `text` with an OK button and returns once the user closed the box.
void ShowUsageDialog(const wxString& text);

}  // namespace ZephPatch
