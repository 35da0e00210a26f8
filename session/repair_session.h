// Repair mode of a patch session: the repair driver, shown through the session's front end.
#pragma once

#include <functional>

#include "session/session_front_end.h"

namespace ZephPatch {

// The gauge's range while the repair receives segments: the driver's progress in permille.
inline constexpr int kRepairGaugeRange = 1000;

// Repairs the installation of PatchSettings from the repair server that the product key's
// "RepairServer" value names (the built-in one without it). Reports the stages, the progress
// and the outcome through `frontEnd`, and asks `cancelled` about once a second. After a
// success the interrupted-patch mark (IsPatching) is gone. True when the repair succeeded.
bool RunRepairSession(SessionFrontEnd& frontEnd, const std::function<bool()>& cancelled);

}  // namespace ZephPatch
