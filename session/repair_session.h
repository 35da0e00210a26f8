// Repair mode of a patch session: the repair driver, shown through the session's front end.
#pragma once

#include <string>

#include "repair/repair_driver.h"

namespace ZephPatch {

// Repairs the installation in `installPath` from `server` ("host" or "host:port"), or when it
// is empty from the one the product key's "RepairServer" value names (the built-in one without
// it). Reports the stages, the progress and the outcome through `sink`, and asks it whether to
// go on about once a second. After a success the interrupted-patch mark (IsPatching) is gone.
[[nodiscard]] RepairResult RunRepairSession(const std::string& installPath, ProgressSink& sink,
                                            const std::string& server = {});

}  // namespace ZephPatch
