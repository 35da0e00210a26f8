#include "session/repair_session.h"

#include "repair/repair_driver.h"
#include "session/patch_settings.h"
#include "session/patching_flag.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

// Hands the driver's lines, progress and cancel question to the session's front end.
class SessionRepairFrontEnd : public RepairFrontEnd {
public:
    SessionRepairFrontEnd(SessionFrontEnd& frontEnd, const std::function<bool()>& cancelled)
        : m_frontEnd(frontEnd), m_cancelled(cancelled) {}

    void Report(int level, const std::string& text) override { m_frontEnd.Report(level, text); }

    // The gauge follows the repair only once segments arrive, so a repair that never reaches
    // the server leaves it alone.
    void SetProgress(int permille) override {
        if (!m_gaugeTaken) {
            m_frontEnd.SetGaugeRange(kRepairGaugeRange);
            m_gaugeTaken = true;
        }
        m_frontEnd.SetGaugeValue(permille);
    }

    bool ShouldContinue() override { return !m_cancelled(); }

private:
    SessionFrontEnd& m_frontEnd;
    const std::function<bool()>& m_cancelled;
    bool m_gaugeTaken = false;
};

}  // namespace

RepairResult RunRepairSession(SessionFrontEnd& frontEnd, const std::function<bool()>& cancelled,
                              const std::string& server) {
    RepairRequest request;
    request.installPath = GetPatchSettings().installPath;
    // The product key holds our own values beside IsPatching.
    request.server = server.empty() ? RepairServerOverride(PATCHING_FLAG_KEY) : server;
    SessionRepairFrontEnd repairFrontEnd(frontEnd, cancelled);
    const RepairResult result = RunRepairDriver(request, repairFrontEnd);
    if (result == RepairResult::kRepaired)
        ClearPatchingFlag();  // the installation is whole again, whatever interrupted it before
    return result;
}

}  // namespace ZephPatch
