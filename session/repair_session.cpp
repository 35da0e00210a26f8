#include "session/repair_session.h"

#include "repair/repair_driver.h"
#include "session/patching_flag.h"
#include "session/product_registry.h"

namespace ZephPatch {

RepairResult RunRepairSession(const std::string& installPath, ProgressSink& sink,
                              const std::string& server) {
    RepairRequest request;
    request.installPath = installPath;
    // The product key holds our own values beside IsPatching.
    request.server = server.empty() ? RepairServerOverride(PATCHING_FLAG_KEY) : server;
    const RepairResult result = RunRepairDriver(request, sink);
    if (result == RepairResult::kRepaired)
        (void)
            ClearPatchingFlag();  // the installation is whole again, whatever interrupted it before
    return result;
}

}  // namespace ZephPatch
