// Repair mode of a patch session: the repair driver, shown through the session's front end.
#pragma once

#include <functional>
#include <string>

#include "repair/repair_driver.h"
#include "session/session_front_end.h"

namespace ZephPatch {

// The gauge's range while the repair receives segments: the driver's progress in permille.
inline constexpr int kRepairGaugeRange = 1000;

// Repairs the installation of PatchSettings from `server` ("host" or "host:port"), or when it
// is empty from the one the product key's "RepairServer" value names (the built-in one without
// it). Reports the stages, the progress and the outcome through `frontEnd`, and asks
// `cancelled` about once a second. After a success the interrupted-patch mark (IsPatching) is
// gone.
RepairResult RunRepairSession(SessionFrontEnd& frontEnd, const std::function<bool()>& cancelled,
                              const std::string& server = {});

}  // namespace ZephPatch
