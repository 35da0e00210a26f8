// The installer's icon, "zephIcon", in every size it ships in, so that the window manager,
// the task bar and the window switcher each find one that fits.
#pragma once

#include <wx/iconbndl.h>

namespace ZephPatch {

[[nodiscard]] wxIconBundle ZephIcon();

}  // namespace ZephPatch
