// One line after a failed run that says what to check: which server, which folder, what to
// close, where the details are.
#pragma once

#include <string>
#include <vector>

#include "session/session_outcome.h"

namespace ZephPatch {

struct HintFacts {
    std::string installPath;
    std::vector<std::string> patchServers;
    bool repairMode = false;
    std::string repairServer;  // the one the repair used
    std::string logPath;       // empty without a session log
    bool debug = false;
};

// Empty for a run that completed or was stopped by the user.
[[nodiscard]] std::string FailureHint(SessionOutcome outcome, const HintFacts& facts);

}  // namespace ZephPatch
